#!/bin/bash
# Throughput of the fetcher against the curl command line: both fetch the same
# 512 MiB file from a local nginx to disk, alternately, in the same run.
# Usage: bench/fetch_throughput.sh [rounds]   (Linux build; needs nginx and curl)
set -euo pipefail

ROUNDS=${1:-5}
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build/bench}
NGINX=${NGINX:-$(command -v nginx || echo /usr/sbin/nginx)}

cmake -S "$SOURCE_DIR" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DUPDATER_BENCHMARKS=ON >/dev/null
cmake --build "$BUILD_DIR" --target fetch_bench -j2 >/dev/null
FETCH="$BUILD_DIR/bench/fetch_bench"

WORK=$(mktemp -d /tmp/fetch-bench.XXXXXX)
NGINX_PID=
cleanup() {
  if [ -n "$NGINX_PID" ]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

mkdir -p "$WORK/www" "$WORK/prefix/logs" "$WORK/out"
head -c $((512 * 1024 * 1024)) /dev/urandom > "$WORK/www/big.bin"
SIZE=$(stat -c %s "$WORK/www/big.bin")
PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

cat > "$WORK/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $WORK/prefix/nginx.pid;
error_log $WORK/prefix/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $WORK/prefix/body;
  proxy_temp_path $WORK/prefix/proxy;
  fastcgi_temp_path $WORK/prefix/fastcgi;
  uwsgi_temp_path $WORK/prefix/uwsgi;
  scgi_temp_path $WORK/prefix/scgi;
  server {
    listen 127.0.0.1:$PORT;
    root $WORK/www;
  }
}
CONF
"$NGINX" -p "$WORK/prefix" -c "$WORK/nginx.conf" -e "$WORK/prefix/logs/error.log" &
NGINX_PID=$!
URL="http://127.0.0.1:$PORT/big.bin"
for _ in $(seq 100); do
  curl -sf -o /dev/null -r 0-0 "$URL" && break
  sleep 0.1
done

# The fetcher writes its update.log into the working directory.
cd "$WORK"
# Warm the page cache so the first round is not the disk's.
cat "$WORK/www/big.bin" > /dev/null

mib_per_s() { python3 -c "print('%.1f' % ($1 / $2 / 1048576))"; }
median() { python3 -c "import statistics, sys; print(statistics.median(float(x) for x in sys.argv[1:]))" "$@"; }
run_fetcher() {
  sync
  read -r bytes seconds < <("$FETCH" "$URL" "$WORK/out/fetcher.bin")
  [ "$bytes" = "$SIZE" ] || { echo "fetcher got $bytes of $SIZE bytes" >&2; exit 1; }
  rm -f "$WORK/out/fetcher.bin"
  mib_per_s "$bytes" "$seconds"
}
run_curl() {
  sync
  seconds=$(curl -s -o "$WORK/out/curl.bin" -w '%{time_total}' "$URL")
  bytes=$(stat -c %s "$WORK/out/curl.bin")
  [ "$bytes" = "$SIZE" ] || { echo "curl got $bytes of $SIZE bytes" >&2; exit 1; }
  rm -f "$WORK/out/curl.bin"
  mib_per_s "$bytes" "$seconds"
}

# Rounds alternate the two, so that load from elsewhere hits both alike; each
# starts after the previous one's writes have reached the disk.
fetcher=() curl=()
for round in $(seq "$ROUNDS"); do
  f=$(run_fetcher)
  c=$(run_curl)
  fetcher+=("$f") curl+=("$c")
  echo "round $round: fetcher $f MiB/s, curl $c MiB/s"
done
F=$(median "${fetcher[@]}")
C=$(median "${curl[@]}")
echo "median of $ROUNDS rounds, $((SIZE / 1048576)) MiB to disk over loopback from nginx:"
echo "  fetcher $F MiB/s, curl $C MiB/s, ratio $(python3 -c "print('%.3f' % ($F / $C))")"
