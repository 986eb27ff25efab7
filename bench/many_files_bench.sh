#!/usr/bin/env bash
# A first installation of many small modules from nginx: the updater's whole
# run (start to exit; every file synced to the disk before its rename) against
# one curl process fetching the same files one after another over one
# kept-alive connection (a floor: no list, no digests, no installation).
# BENCH_DIR=/dev/shm makes the syncs free, so that the fetching is what is compared.
#   bash bench/many_files_bench.sh [modules] [KiB] [rounds]
# UPDATER_BINARY=path measures another build of the updater (a baseline).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
modules=${1:-2000}
kib=${2:-1}
rounds=${3:-5}

# On the disk, not in memory, unless asked: a sync to tmpfs costs nothing.
work_template=${BENCH_DIR:-$ROOT/build}/many-files.XXXXXX
source "$ROOT/bench/common.sh"

served=$work/served
mkdir -p "$served"
start_nginx "$served" "access_log off;"
base=http://127.0.0.1:$port
python3 - "$modules" "$kib" "$served" "$base" <<'PY'
import hashlib, os, sys
count, kib, served, base = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], sys.argv[4]
with open(os.path.join(served, "list.xml"), "w") as listing, open(os.path.join(served, "curl.cfg"), "w") as config:
    listing.write('<?xml version="1.0"?>\n<downloadFiles>\n')
    for i in range(count):
        name = f"data/pack{i // 100:03d}/file{i:05d}.dat"
        body = os.urandom(kib * 1024)
        os.makedirs(os.path.join(served, os.path.dirname(name)), exist_ok=True)
        with open(os.path.join(served, name), "wb") as f:
            f.write(body)
        listing.write(f'  <module name="{name}" version="1.0" url="{base}/{name}" '
                      f'md5sum="{hashlib.md5(body).hexdigest()}" critical="true" contentLength="{len(body)}"/>\n')
        config.write(f'url = "{base}/{name}"\noutput = "{name}"\n')
    listing.write("</downloadFiles>\n")
with open(os.path.join(served, "mm.xml"), "w") as f:
    f.write('<parameters><parameter name="successful">true</parameter>'
            '<parameter name="status">Up</parameter></parameters>\n')
PY

elapsed() {
  local start=$(date +%s%N)
  "$@"
  echo $((($(date +%s%N) - start) / 1000000))
}
run_updater() {
  make_installation "$work/install" "$base/list.xml" "$base/mm.xml"
  sync
  cd "$work/install"
  ./updater 2>/dev/null || { echo "the updater failed; see $work/install/update.log" >&2; exit 1; }
}
run_curl() {
  rm -rf "$work/curl" && mkdir -p "$work/curl" && sync
  cd "$work/curl"
  curl -s --create-dirs -K "$served/curl.cfg"
}

updater=() floor=()
for round in $(seq "$rounds"); do
  u=$(elapsed run_updater) c=$(elapsed run_curl)
  updater+=("$u") floor+=("$c")
  echo "round $round: updater $u ms, curl $c ms"
done
U=$(median "${updater[@]}") C=$(median "${floor[@]}")
echo "$modules modules of $kib KiB, median of $rounds rounds: updater $U ms ($(python3 -c "print('%.3f' % ($U / $modules))") ms" \
  "per module), curl sequential $C ms, ratio $(python3 -c "print('%.2f' % ($U / $C))")"
