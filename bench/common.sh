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

# Serves the folder $1 from nginx on 127.0.0.1:$2 (its pid in $server_pid).
start_nginx() {
  mkdir -p "$work/nginx/logs"
  cat >"$work/nginx/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1; pid $work/nginx/pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 256; }
http { access_log off; sendfile on; keepalive_requests 100000; client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy; fastcgi_temp_path $work/nginx/fcgi; uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi; server { listen 127.0.0.1:$2; root $1; } }
CONF
  "${NGINX:-nginx}" -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" &
  server_pid=$!
}
