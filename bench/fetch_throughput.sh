#!/bin/bash
# Throughput of the fetcher against the curl command line: both fetch the same
# 512 MiB file from a local nginx to disk, alternately, in the same run; the
# fetcher also as a module's download, with its MD5 checked on the way. Then
# the module download and curl again over a link of LINK MB/s (nginx's
# limit_rate): a network slower than the digest, which loopback is not.
# Usage: bash bench/fetch_throughput.sh [rounds] [LINK]   (needs nginx and curl)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ROUNDS=${1:-5}
LINK=${2:-200}
work_template=${BENCH_DIR:-/tmp}/fetch-bench.XXXXXX
source "$ROOT/bench/common.sh"
cmake --build "$build" --target fetch_bench -j2 >/dev/null
FETCH=$build/bench/fetch_bench

mkdir -p "$work/www" "$work/out"
head -c $((512 * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"
SIZE=$(stat -c %s "$work/www/big.bin")
MD5=$(md5sum <"$work/www/big.bin" | cut -c1-32)
echo "<UpdaterIni/>" >"$work/UpdaterIni.xml"
port=$(free_port)
start_nginx "$work/www" "$port"
URL="http://127.0.0.1:$port/big.bin"
for _ in $(seq 100); do curl -sf -o /dev/null -r 0-0 "$URL" && break; sleep 0.1; done
# The fetcher writes its update.log into the working directory.
cd "$work"
# Warm the page cache so the first round is not the disk's.
cat "$work/www/big.bin" >/dev/null

mib_per_s() { python3 -c "print('%.1f' % ($1 / $2 / 1048576))"; }
# Each run starts after the previous one's writes have reached the disk.
run_fetcher() {
  sync
  seconds=$("$FETCH" "$URL" out/fetcher.bin "$@")
  bytes=$(stat -c %s out/fetcher.bin* )
  [ "$bytes" = "$SIZE" ] || { echo "fetcher got $bytes of $SIZE bytes" >&2; exit 1; }
  rm -f out/fetcher.bin*
  mib_per_s "$bytes" "$seconds"
}
run_curl() {
  sync
  seconds=$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' "$URL")
  bytes=$(stat -c %s "$work/out/curl.bin")
  [ "$bytes" = "$SIZE" ] || { echo "curl got $bytes of $SIZE bytes" >&2; exit 1; }
  rm -f "$work/out/curl.bin"
  mib_per_s "$bytes" "$seconds"
}

# Rounds alternate the three, so that load from elsewhere hits them alike.
fetcher=() hashing=() curl=()
for round in $(seq "$ROUNDS"); do
  f=$(run_fetcher) h=$(run_fetcher "$MD5") c=$(run_curl)
  fetcher+=("$f") hashing+=("$h") curl+=("$c")
  echo "round $round: fetcher $f MiB/s, module download with MD5 $h MiB/s, curl $c MiB/s"
done
F=$(median "${fetcher[@]}") H=$(median "${hashing[@]}") C=$(median "${curl[@]}")
echo "median of $ROUNDS rounds, $((SIZE / 1048576)) MiB to disk over loopback from nginx:"
echo "  fetcher $F MiB/s, with MD5 $H MiB/s, curl $C MiB/s"
echo "  ratio $(python3 -c "print('%.3f' % ($F / $C))"), with MD5 $(python3 -c "print('%.3f' % ($H / $C))")"

kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
port=$(free_port)
start_nginx "$work/www" "$port" "access_log off; limit_rate ${LINK}m;"
URL="http://127.0.0.1:$port/big.bin"
for _ in $(seq 100); do curl -sf -o /dev/null -r 0-0 "$URL" && break; sleep 0.1; done
hashing=() curl=()
for round in $(seq "$ROUNDS"); do
  h=$(run_fetcher "$MD5") c=$(run_curl)
  hashing+=("$h") curl+=("$c")
done
H=$(median "${hashing[@]}") C=$(median "${curl[@]}")
echo "over a ${LINK} MB/s link: module download with MD5 $H MiB/s, curl $C MiB/s, ratio $(python3 -c "print('%.3f' % ($H / $C))")"
