#!/usr/bin/env bash
# Parallel fetches, one run each, in memory (/dev/shm: the network is measured,
# not the disk's syncs):
#  (a) a first install of 2,000 modules of 16 KiB from nginx, one at a time
#      against one curl process fetching the same files one after another over
#      one connection, and with parallelDownloads 8 against curl -Z --parallel-max 8;
#      then one at a time again from a list without checksums (nothing to verify);
#  (b) 500 modules from a server that waits 20 ms before every answer, one at a
#      time and 8 at once, against the floor of 500 x 20 ms / 8.
#   bash bench/parallel_fetch_bench.sh [modules_a] [modules_b]
# UPDATER_BINARY=path measures another build of the updater.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
a=${1:-2000}
b=${2:-500}
work_template=/dev/shm/parallel-bench.XXXXXX
source "$ROOT/bench/common.sh"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

port=$(free_port)
start_nginx "$work/served" "$port"
make_release "$a" 16384 "$port"
parallel=$(( $(first_install "$port" "<parallelDownloads>8</parallelDownloads>") / 1000 ))
sed -n "s|.*url=\"\\([^\"]*\\)/\\(data/[^\"]*\\)\".*|url = \"\\1/\\2\"\\noutput = \"$work/curl/\\2\"|p" \
  "$work/served/list.xml" >"$work/curl.txt"
curl_ms() {
  rm -rf "$work/curl"
  local start=$(date +%s%N)
  curl -s --no-progress-meter "$@" --create-dirs -K "$work/curl.txt"
  echo $(( ($(date +%s%N) - start) / 1000000 ))
}
sequential=$(( $(first_install "$port") / 1000 )) sequential_curl=$(curl_ms)
parallel_curl=$(curl_ms -Z --parallel-max 8)
echo "(a) $a x 16 KiB from nginx: updater sequential $sequential ms, curl sequential $sequential_curl ms," \
  "ratio $(ratio "$sequential" "$sequential_curl"); updater parallel 8 $parallel ms, curl -Z 8 $parallel_curl ms," \
  "ratio $(ratio "$parallel" "$parallel_curl")"
# The same release without checksums: what verifying every module costs.
sed -i 's/ md5sum="[0-9a-f]*"//' "$work/served/list.xml"
unchecked=$(( $(first_install "$port") / 1000 ))
echo "    without checksums in the list: updater sequential $unchecked ms, ratio $(ratio "$unchecked" "$sequential_curl")"
kill "$server_pid" && wait "$server_pid" 2>/dev/null || true

port=$(free_port)
python3 - "$port" "$work/served" <<'PY' &
import functools, http.server, sys, time
class Delayed(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True  # headers and body go out as two writes
    def do_GET(self):
        time.sleep(0.02)
        super().do_GET()
    def log_message(self, *args): pass
handler = functools.partial(Delayed, directory=sys.argv[2])
http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), handler).serve_forever()
PY
server_pid=$!
make_release "$b" 16384 "$port"
sequential=$(( $(first_install "$port") / 1000 ))
parallel=$(( $(first_install "$port" "<parallelDownloads>8</parallelDownloads>") / 1000 ))
floor=$(( b * 20 / 8 ))
echo "(b) $b files, 20 ms per answer: sequential $sequential ms, parallel 8 $parallel ms, floor $floor ms," \
  "parallel / floor $(ratio "$parallel" "$floor")"
