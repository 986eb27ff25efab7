#!/usr/bin/env bash
# Parallel fetches, one run each, in memory (/dev/shm: the network is measured,
# not the disk's syncs):
#  (a) a first install of 2,000 modules of 16 KiB from nginx with
#      parallelDownloads 8, against curl -Z --parallel-max 8 fetching the same files;
#  (b) 500 modules from a server that waits 20 ms before every answer, one at a
#      time and 8 at once, against the floor of 500 x 20 ms / 8.
#   bash bench/parallel_fetch_bench.sh [modules_a] [modules_b]
# UPDATER_BINARY=path measures another build of the updater.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work_template=/dev/shm/parallel-bench.XXXXXX
source "$ROOT/bench/common.sh"
now() { date +%s%N; }
ms_since() { echo $(( ($(now) - $1) / 1000000 )); }

# release COUNT PORT: COUNT files of 16 KiB under $work/www, their list and the
# maintenance answer, and curl's list of the same files.
release() {
  rm -rf "$work/www" && mkdir -p "$work/www"
  python3 - "$1" "$2" "$work" <<'PY'
import hashlib, os, sys
count, port, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
www = os.path.join(work, "www")
with open(os.path.join(www, "list.xml"), "w") as listing, open(os.path.join(work, "curl.txt"), "w") as urls:
    listing.write("<downloadFiles>\n")
    for i in range(count):
        name = f"data/pack{i // 100:03d}/file{i:05d}.dat"
        body = (f"module {i} " * 2000).encode()[:16384]
        os.makedirs(os.path.join(www, os.path.dirname(name)), exist_ok=True)
        open(os.path.join(www, name), "wb").write(body)
        url = f"http://127.0.0.1:{port}/{name}"
        listing.write(f'<module name="{name}" version="1.0" url="{url}" md5sum="{hashlib.md5(body).hexdigest()}" '
                      f'critical="true" contentLength="{len(body)}"/>\n')
        urls.write(f'url = "{url}"\noutput = "{work}/curl/{name}"\n')
    listing.write("</downloadFiles>\n")
open(os.path.join(www, "mm.xml"), "w").write('<parameters><parameter name="successful">true</parameter>'
                                             '<parameter name="status">Up</parameter></parameters>\n')
PY
  for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$2/mm.xml" && break; sleep 0.05; done
}

# updater_ms PORT WORKERS: a first install with parallelDownloads WORKERS.
updater_ms() {
  local install=$work/install start
  rm -rf "$install" && mkdir -p "$install"
  printf '<modules>\n</modules>\n' >"$install/installed.xml"
  printf '#!/bin/sh\n' >"$install/client" && chmod +x "$install/client"
  printf '<UpdaterIni><commMaintMgr>http://127.0.0.1:%s/mm.xml</commMaintMgr><updateServer>http://127.0.0.1:%s/list.xml</updateServer><modulesFile>installed.xml</modulesFile><autoStart>client</autoStart><parallelDownloads>%s</parallelDownloads></UpdaterIni>\n' \
    "$1" "$1" "$2" >"$install/UpdaterIni.xml"
  start=$(now)
  (cd "$install" && "$binary" 2>/dev/null) || { echo "the updater failed: $(tail -1 "$install/update.log")" >&2; exit 1; }
  ms_since "$start"
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# (a) nginx, 2,000 files.
port=$(free_port)
start_nginx "$work/www" "$port"
release "${1:-2000}" "$port"
parallel=$(updater_ms "$port" 8)
rm -rf "$work/curl" && start=$(now)
curl -s --no-progress-meter -Z --parallel-max 8 --create-dirs -K "$work/curl.txt"
curl_ms=$(ms_since "$start")
echo "(a) ${1:-2000} x 16 KiB from nginx: updater parallel 8 $parallel ms, curl -Z 8 $curl_ms ms," \
  "ratio $(awk -v a="$parallel" -v b="$curl_ms" 'BEGIN { printf "%.2f", a / b }')"
kill "$server_pid" && wait "$server_pid" 2>/dev/null || true

# (b) 20 ms before every answer, 500 files.
port=$(free_port)
python3 - "$port" "$work/www" <<'PY' &
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
release "${2:-500}" "$port"
sequential=$(updater_ms "$port" 1)
parallel=$(updater_ms "$port" 8)
floor=$(( ${2:-500} * 20 / 8 ))
echo "(b) ${2:-500} files, 20 ms per answer: sequential $sequential ms, parallel 8 $parallel ms," \
  "floor $floor ms, parallel / floor $(awk -v a="$parallel" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')"
