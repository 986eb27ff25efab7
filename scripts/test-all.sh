#!/usr/bin/env bash
# Builds and tests every build of the tree: bash scripts/test-all.sh [preset...]
# With no arguments runs linux, linux-sanitize, linux-tsan, windows and fuzz
# (each libFuzzer target for 30 s, scripts/fuzz.sh).
# Every build runs even after one fails; the exit status says whether all passed.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

presets=("$@")
[[ ${#presets[@]} -gt 0 ]] || presets=(linux linux-sanitize linux-tsan windows fuzz)

bash "$ROOT/scripts/install-deps.sh"

mkdir -p "$ROOT/build/logs"

# ThreadSanitizer maps its shadow memory at fixed addresses; with the large
# ASLR ranges of newer kernels the program can land on them and TSan aborts
# with "unexpected memory mapping". Running without ASLR avoids that.
tsan_wrapper=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  tsan_wrapper=(setarch "$(uname -m)" -R)
elif [[ $EUID -eq 0 && $(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0) -gt 28 ]]; then
  echo "[test-all] lowering vm.mmap_rnd_bits to 28 for ThreadSanitizer"
  sysctl -q -w vm.mmap_rnd_bits=28
fi

stop_wineserver() {
  # The shared wineserver is tied to the X display of the run that started it.
  local prefix=$ROOT/build/windows/wine-prefix
  if [[ -d $prefix ]]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  fi
}

summary=()
failed=0
for preset in "${presets[@]}"; do
  cmd=(cmake --workflow --preset "$preset")
  case $preset in
    linux-tsan) cmd=("${tsan_wrapper[@]}" "${cmd[@]}") ;;
    fuzz) cmd=(bash "$ROOT/scripts/fuzz.sh" 30) ;;
    windows)
      stop_wineserver
      cmd=(xvfb-run -a -s "-screen 0 1280x1024x24" "${cmd[@]}")
      ;;
  esac
  log=$ROOT/build/logs/$preset.log
  echo "[test-all] === $preset: ${cmd[*]} (log: build/logs/$preset.log)"
  start=$SECONDS
  rc=0
  "${cmd[@]}" </dev/null 2>&1 | tee "$log" || rc=$?
  took=$((SECONDS - start))
  [[ $preset == windows ]] && stop_wineserver
  if [[ $rc -eq 0 ]]; then
    summary+=("$(printf '%-15s passed  %4ds' "$preset" "$took")")
  else
    summary+=("$(printf '%-15s FAILED  %4ds  (exit %d, see build/logs/%s.log)' "$preset" "$took" "$rc" "$preset")")
    failed=1
  fi
done

echo
echo "[test-all] summary:"
printf '  %s\n' "${summary[@]}"
exit $failed
