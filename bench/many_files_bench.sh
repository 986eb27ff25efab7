#!/usr/bin/env bash
# The cost of a large update of many small files, where every file is synced to
# the disk before its rename: a fresh installation receives N new modules of
# 1 KiB from a local server. Prints the median time of the whole run (start to
# exit) and the time per module.
#   bash bench/many_files_bench.sh [modules] [rounds]
# UPDATER_BINARY=path measures another build of the updater (a baseline).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
modules=${1:-2000}
rounds=${2:-5}

# On the disk, not in memory: a sync to tmpfs costs nothing.
work_template=${BENCH_DIR:-$ROOT/build}/many-files.XXXXXX
source "$ROOT/bench/common.sh"

port=$(free_port)
python3 -m http.server --bind 127.0.0.1 --directory "$work/served" "$port" >/dev/null 2>&1 &
server_pid=$!
make_release "$modules" 1024 "$port"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

times=()
for _ in $(seq "$rounds"); do times+=($(first_install "$port")); done

total=$(printf '%s\n' "${times[@]}" | median)
echo "modules: $modules, rounds: $rounds"
echo "whole run (median): $(awk -v t="$total" 'BEGIN { printf "%.1f ms", t / 1000 }')"
echo "per module:         $(awk -v t="$total" -v n="$modules" 'BEGIN { printf "%.3f ms", t / 1000 / n }')"
