# Shared set-up of the whole-program benchmarks; source it after setting ROOT.
# Gives $binary (UPDATER_BINARY, or the linux build's updater, built on demand)
# and $work, a scratch folder (from the mktemp template $work_template when
# set), removed on exit with the server whose pid is left in $server_pid.
build=$ROOT/build/linux
binary=${UPDATER_BINARY:-}
if [[ -z $binary ]]; then
  [[ -f $build/CMakeCache.txt ]] || cmake --preset linux >/dev/null
  cmake --build "$build" --target updater -j2 >/dev/null
  binary=$build/updater
fi

if [[ -n ${work_template:-} ]]; then work=$(mktemp -d "$work_template"); else work=$(mktemp -d); fi
server_pid=
cleanup() {
  # A killed server's status must not end the clean-up under set -e.
  [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Serves the folder $1 from nginx on 127.0.0.1:$2 (its pid in $server_pid);
# $3, when given, replaces "access_log off;" with other http-level directives.
start_nginx() {
  mkdir -p "$work/nginx/logs"
  cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1; pid $work/nginx/pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 256; }
http { ${3:-access_log off;} sendfile on; keepalive_requests 100000; client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy; fastcgi_temp_path $work/nginx/fcgi; uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi; server { listen 127.0.0.1:$2; root $1; } }
CONF
  "${NGINX:-nginx}" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" &
  server_pid=$!
}

# make_release COUNT SIZE PORT: COUNT modules of SIZE bytes under $work/served
# (data/packNNN/fileNNNNN.dat), their list "list.xml" at http://127.0.0.1:PORT
# and a maintenance answer "mm.xml".
make_release() {
  rm -rf "$work/served" && mkdir -p "$work/served"
  python3 - "$work/served" "$@" <<'PY'
import hashlib, os, sys
served, count, size, port = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
with open(os.path.join(served, "list.xml"), "w") as listing:
    listing.write('<?xml version="1.0"?>\n<downloadFiles>\n')
    for i in range(count):
        name = f"data/pack{i // 100:03d}/file{i:05d}.dat"
        body = (f"module {i} " * (size // 8 + 1)).encode()[:size]
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
  for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$3/mm.xml" && break; sleep 0.05; done
}

# first_install PORT [SETTINGS]: a fresh installation in $work/install of the
# release served on PORT, with further settings (XML elements); prints the
# microseconds of the updater's whole run.
first_install() {
  local install=$work/install start
  rm -rf "$install" && mkdir -p "$install"
  printf '<?xml version="1.0"?>\n<modules>\n</modules>\n' >"$install/installed.xml"
  printf '#!/bin/sh\n' >"$install/client" && chmod +x "$install/client"
  printf '<UpdaterIni><commMaintMgr>http://127.0.0.1:%s/mm.xml</commMaintMgr><updateServer>http://127.0.0.1:%s/list.xml</updateServer><modulesFile>installed.xml</modulesFile><autoStart>client</autoStart>%s</UpdaterIni>\n' \
    "$1" "$1" "${2:-}" >"$install/UpdaterIni.xml"
  cp "$binary" "$install/updater"
  sync
  start=$(date +%s%N)
  (cd "$install" && ./updater 2>/dev/null) || { echo "the updater failed; see $install/update.log" >&2; exit 1; }
  echo $(( ($(date +%s%N) - start) / 1000 ))
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

median() { python3 -c "import statistics, sys; print(statistics.median(float(x) for x in sys.argv[1:]))" "$@"; }
