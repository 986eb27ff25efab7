#!/usr/bin/env bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each for the given
# number of seconds (default 30), starting from the seeds in fuzz/corpus/<target>.
#   bash scripts/fuzz.sh          # 30 s each, as scripts/test-all.sh runs it
#   bash scripts/fuzz.sh 720      # all five for an hour in total
# New inputs collect in build/linux-fuzz/corpus (the seeds stay as committed);
# a crash leaves its input in build/linux-fuzz/artifacts and fails the run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
seconds=${1:-30}
targets=(module_list settings maintenance_answer version status_request)

cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j2

build=$ROOT/build/linux-fuzz
mkdir -p "$build/artifacts"
failed=0
summary=()
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  log=$build/fuzz_$target.log
  rc=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$corpus" "$ROOT/fuzz/corpus/$target" \
    >"$log" 2>&1 || rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
  if [[ $rc -eq 0 ]]; then
    summary+=("$(printf '%-20s passed  %10s runs  cov %s' "$target" "$runs" "$cov")")
  else
    summary+=("$(printf '%-20s FAILED  (exit %d, see %s)' "$target" "$rc" "${log#"$ROOT"/}")")
    tail -40 "$log"
    failed=1
  fi
done
echo "[fuzz] summary (${seconds} s each):"
printf '  %s\n' "${summary[@]}"
exit $failed
