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

served=$work/served
mkdir -p "$served"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 - "$modules" "$served" "$port" <<'PY'
import hashlib, os, sys
count, served, port = int(sys.argv[1]), sys.argv[2], sys.argv[3]
with open(os.path.join(served, "list.xml"), "w") as listing:
    listing.write('<?xml version="1.0"?>\n<downloadFiles>\n')
    for i in range(count):
        name = f"data/pack{i // 100:03d}/file{i:05d}.dat"
        body = (f"module {i} " * 120).encode()[:1024]
        os.makedirs(os.path.join(served, os.path.dirname(name)), exist_ok=True)
        with open(os.path.join(served, name), "wb") as f:
            f.write(body)
        listing.write(f'  <module name="{name}" version="1.0" url="http://127.0.0.1:{port}/{name}" '
                      f'md5sum="{hashlib.md5(body).hexdigest()}" critical="true" contentLength="{len(body)}"/>\n')
    listing.write("</downloadFiles>\n")
with open(os.path.join(served, "mm.xml"), "w") as f:
    f.write('<parameters><parameter name="successful">true</parameter>'
            '<parameter name="status">Up</parameter></parameters>\n')
PY
python3 -m http.server --bind 127.0.0.1 --directory "$served" "$port" >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/mm.xml" && break; sleep 0.05; done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

times=()
for _ in $(seq "$rounds"); do
  install=$work/install
  rm -rf "$install"
  mkdir -p "$install"
  printf '<?xml version="1.0"?>\n<modules>\n</modules>\n' >"$install/installed.xml"
  printf '#!/bin/sh\n' >"$install/client"
  chmod +x "$install/client"
  cat >"$install/UpdaterIni.xml" <<XML
<UpdaterIni>
  <commMaintMgr>http://127.0.0.1:$port/mm.xml</commMaintMgr>
  <updateServer>http://127.0.0.1:$port/list.xml</updateServer>
  <modulesFile>installed.xml</modulesFile>
  <autoStart>client</autoStart>
</UpdaterIni>
XML
  cp "$binary" "$install/updater"
  sync
  start=$(date +%s%N)
  (cd "$install" && ./updater 2>/dev/null) || { echo "the updater failed; see $install/update.log" >&2; exit 1; }
  times+=($(( ($(date +%s%N) - start) / 1000 )))
done

total=$(printf '%s\n' "${times[@]}" | median)
echo "modules: $modules, rounds: $rounds"
echo "whole run (median): $(awk -v t="$total" 'BEGIN { printf "%.1f ms", t / 1000 }')"
echo "per module:         $(awk -v t="$total" -v n="$modules" 'BEGIN { printf "%.3f ms", t / 1000 / n }')"
