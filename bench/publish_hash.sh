#!/bin/bash
# Hashing rate of updater-publish against md5sum over the same files: a release
# of SIZE_GIB GiB (default 3) in 64 MiB files plus 2,000 small ones is md5summed,
# published afresh (MD5 and SHA-256 of every file, each copied into the output)
# and published again unchanged into the same output (digests taken, the copies
# linked), alternately, ROUNDS times (default 3); the medians are compared.
# Usage: bench/publish_hash.sh [SIZE_GIB] [ROUNDS]   (Linux build)
set -euo pipefail

SIZE_GIB=${1:-3}
ROUNDS=${2:-3}
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$SOURCE_DIR/build/linux}
cmake --build "$BUILD_DIR" --target updater-publish -j2 >/dev/null
PUBLISH=$BUILD_DIR/updater-publish

WORK=$(mktemp -d /tmp/publish-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/release/big" "$WORK/release/small"
for i in $(seq $((SIZE_GIB * 16))); do
  head -c $((64 * 1024 * 1024)) /dev/urandom >"$WORK/release/big/part$i.pak"
done
for i in $(seq 2000); do head -c 4096 /dev/urandom >"$WORK/release/small/f$i.dat"; done
BYTES=$(du -sb "$WORK/release" | cut -f1)

seconds() { local start=$EPOCHREALTIME; "$@" >/dev/null; echo "$EPOCHREALTIME - $start" | bc; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
md5=() publish=() again=()
for _ in $(seq "$ROUNDS"); do
  md5+=("$(seconds bash -c "cd '$WORK/release' && find . -type f -print0 | xargs -0 md5sum")")
  rm -rf "$WORK/out"
  publish+=("$(seconds "$PUBLISH" --quiet --base-url http://cdn.example.com/game "$WORK/release" "$WORK/out")")
  again+=("$(seconds "$PUBLISH" --quiet --base-url http://cdn.example.com/game "$WORK/release" "$WORK/out")")
done
m=$(printf '%s\n' "${md5[@]}" | median)
p=$(printf '%s\n' "${publish[@]}" | median)
a=$(printf '%s\n' "${again[@]}" | median)
echo "$((BYTES / 1048576)) MiB in $(find "$WORK/release" -type f | wc -l) files, median of $ROUNDS rounds, page cache warm:"
printf '  md5sum           %6.2f s  %5.0f MiB/s\n' "$m" "$(echo "$BYTES / 1048576 / $m" | bc -l)"
printf '  updater-publish  %6.2f s  %5.0f MiB/s  (MD5 + SHA-256, and the copy)\n' "$p" "$(echo "$BYTES / 1048576 / $p" | bc -l)"
printf '  again, unchanged %6.2f s  %5.0f MiB/s  (MD5 + SHA-256, copies linked)\n' "$a" "$(echo "$BYTES / 1048576 / $a" | bc -l)"
printf '  ratio to md5sum: first publish %.2f, publish again %.2f\n' "$(echo "$p / $m" | bc -l)" "$(echo "$a / $m" | bc -l)"
