#!/usr/bin/env bash
# A download a kill stopped half-way: the updater is killed once half of a
# module's file has reached its ".new", then run again. Prints the body bytes
# nginx sent to the second run against the file's size.
#   bash bench/resume_bench.sh [MiB]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mib=${1:-256}
work_template=${BENCH_DIR:-/tmp}/resume-bench.XXXXXX
source "$ROOT/bench/common.sh"

served=$work/served
mkdir -p "$served"
head -c $((mib << 20)) /dev/urandom >"$served/big.bin"
size=$(stat -c %s "$served/big.bin")
# 64 MiB/s, so that the kill lands close to the half; each request's body bytes logged.
port=$(free_port)
start_nginx "$served" "$port" "log_format sent '\$request \$status \$body_bytes_sent';
  access_log $work/access.log sent; limit_rate $((64 << 20));"
base=http://127.0.0.1:$port
cat >"$served/list.xml" <<XML
<?xml version="1.0"?>
<downloadFiles>
  <module name="big.bin" version="1.0" url="$base/big.bin" md5sum="$(md5sum <"$served/big.bin" | cut -c1-32)"
          critical="true" contentLength="$size"/>
</downloadFiles>
XML
printf '<parameters><parameter name="successful">true</parameter><parameter name="status">Up</parameter></parameters>\n' \
  >"$served/mm.xml"
for _ in $(seq 100); do curl -sf -o /dev/null "$base/mm.xml" && break; sleep 0.05; done
install=$work/install
mkdir -p "$install"
printf '<?xml version="1.0"?>\n<modules>\n</modules>\n' >"$install/installed.xml"
printf '#!/bin/sh\n' >"$install/client" && chmod +x "$install/client"
printf '<UpdaterIni><commMaintMgr>%s/mm.xml</commMaintMgr><updateServer>%s/list.xml</updateServer><modulesFile>installed.xml</modulesFile><autoStart>client</autoStart></UpdaterIni>\n' \
  "$base" "$base" >"$install/UpdaterIni.xml"
cp "$binary" "$install/updater"

(cd "$install" && exec ./updater 2>/dev/null) &
pid=$!
until [[ $(stat -c %s "$install/big.bin.new" 2>/dev/null || echo 0) -ge $((size / 2)) ]]; do sleep 0.01; done
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
kept=$(stat -c %s "$install/big.bin.new")
: >"$work/access.log"
(cd "$install" && ./updater 2>/dev/null)
cmp -s "$install/big.bin" "$served/big.bin" || { echo "the second run did not install the file" >&2; exit 1; }
second=$(awk '$2 == "/big.bin" { sent += $NF } END { print sent + 0 }' "$work/access.log")
echo "$mib MiB module, killed with $kept bytes in big.bin.new; the second run fetched $second bytes:" \
  "$(python3 -c "print('%.1f' % (100 * $second / $size))") % of the file"
