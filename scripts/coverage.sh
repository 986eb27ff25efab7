#!/usr/bin/env bash
# Line coverage of the product by the Linux build's tests:
#   bash scripts/coverage.sh [gcovr options...]
# Builds the linux-coverage preset, runs its tests from zeroed counters and
# prints gcovr's summary for the product's files (not tests, benchmarks, fuzz targets).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
command -v gcovr >/dev/null || { echo "gcovr missing: bash scripts/install-deps.sh" >&2; exit 1; }
cmake --preset linux-coverage >/dev/null
cmake --build --preset linux-coverage -j2
find build/linux-coverage -name '*.gcda' -delete
ctest --preset linux-coverage || echo "[coverage] some tests failed; the figure counts what ran" >&2
gcovr -r "$ROOT" build/linux-coverage --filter '(app|catalogue|settings|net|status|support|tools)/' \
  --exclude '.*_test\.cpp$' "$@"
