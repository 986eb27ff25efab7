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

# A free port on 127.0.0.1.
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# Serves the folder $1 from nginx (extra http-level directives in $2) on a free
# port: sets $port and $server_pid. Every request's line, status and body bytes
# sent go to $work/nginx/access.log.
start_nginx() {
  local prefix=$work/nginx
  mkdir -p "$prefix/logs"
  port=$(free_port)
  cat >"$prefix/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $prefix/nginx.pid;
error_log $prefix/logs/error.log;
events { worker_connections 64; }
http {
  log_format sent '\$request \$status \$body_bytes_sent';
  access_log $prefix/access.log sent;
  sendfile on;
  tcp_nopush on;
  ${2:-}
  client_body_temp_path $prefix/body;
  proxy_temp_path $prefix/proxy;
  fastcgi_temp_path $prefix/fastcgi;
  uwsgi_temp_path $prefix/uwsgi;
  scgi_temp_path $prefix/scgi;
  server {
    listen 127.0.0.1:$port;
    root $1;
  }
}
CONF
  "${NGINX:-/usr/sbin/nginx}" -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/logs/error.log" &
  server_pid=$!
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && return; sleep 0.1; done
  echo "nginx did not start; see $prefix/logs/error.log" >&2
  exit 1
}

# An installation folder $1 whose settings ask $2 for the module list and
# $3 for the maintenance answer, with nothing installed yet.
make_installation() {
  rm -rf "$1"
  mkdir -p "$1"
  printf '<?xml version="1.0"?>\n<modules>\n</modules>\n' >"$1/installed.xml"
  printf '#!/bin/sh\n' >"$1/client"
  chmod +x "$1/client"
  cat >"$1/UpdaterIni.xml" <<XML
<UpdaterIni>
  <commMaintMgr>$3</commMaintMgr>
  <updateServer>$2</updateServer>
  <modulesFile>installed.xml</modulesFile>
  <autoStart>client</autoStart>
</UpdaterIni>
XML
  cp "$binary" "$1/updater"
}

median() { python3 -c "import statistics, sys; print(statistics.median(float(x) for x in sys.argv[1:]))" "$@"; }
