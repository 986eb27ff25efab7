#!/bin/bash
# The download rate limit on a real download: the achieved rate against the
# setting, held for a few seconds, and a change in the middle of a download.
# Usage: bench/rate_bench.sh [seconds]   (Linux build; needs python3)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_EACH=${1:-4}
work_template=/tmp/rate-bench.XXXXXX
source "$ROOT/bench/common.sh"
cmake --build "$build" --target rate_bench -j2 >/dev/null

truncate -s 1G "$work/big.bin"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work" >/dev/null 2>&1 &
server_pid=$!
url="http://127.0.0.1:$port/big.bin"
for _ in $(seq 100); do curl -sf -o /dev/null -r 0-0 "$url" && break; sleep 0.1; done

cd "$work"  # the fetcher writes update.log here
ratio() { python3 -c "print('%.3f' % ($1 / $2))"; }
for rate in 65536 1048576 8388608; do
  read -r achieved _ < <("$build/bench/rate_bench" "$url" "$SECONDS_EACH" "$rate")
  echo "limit $rate B/s for ${SECONDS_EACH}s: $achieved B/s, ratio $(ratio "$achieved" "$rate")"
done
read -r first second < <("$build/bench/rate_bench" "$url" "$SECONDS_EACH" 4194304 524288)
echo "limit 4194304 then 524288 B/s mid-download, ${SECONDS_EACH}s each: $first B/s ($(ratio "$first" 4194304))," \
  "then $second B/s ($(ratio "$second" 524288))"
