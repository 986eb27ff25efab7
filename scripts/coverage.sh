#!/usr/bin/env bash
# Line coverage of the product by the Linux build's tests:
#   bash scripts/coverage.sh
# Builds the linux-coverage preset, runs its tests from zeroed counters and
# prints each product file with lines missed (not tests, benchmarks, fuzz
# targets) and the total.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
command -v gcovr >/dev/null || { echo "gcovr missing: bash scripts/install-deps.sh" >&2; exit 1; }
cmake --preset linux-coverage >/dev/null
cmake --build --preset linux-coverage -j2
# Counters of objects the build no longer makes (after a change of targets)
# would clash with the current ones.
ninja -C build/linux-coverage -t cleandead >/dev/null
find build/linux-coverage -name '*.gcno' | while read -r notes; do
  [[ -e ${notes%.gcno}.o ]] || rm -f "$notes"
done
find build/linux-coverage -name '*.gcda' -delete
ctest --preset linux-coverage || echo "[coverage] some tests failed; the figure counts what ran" >&2
gcovr -r "$ROOT" build/linux-coverage --filter '(app|catalogue|settings|net|status|support|tools)/' \
  --exclude '.*_test\.cpp$' --json -o build/linux-coverage/coverage.json
# The layers see headers through links under build/: count each line once, at its real path.
python3 - "$ROOT" <<'PY'
import json, os, sys
root = sys.argv[1]
files = {}
for entry in json.load(open(os.path.join(root, "build/linux-coverage/coverage.json")))["files"]:
    lines = files.setdefault(os.path.relpath(os.path.realpath(os.path.join(root, entry["file"])), root), {})
    for line in entry["lines"]:
        if not line.get("gcovr/noncode"):
            lines[line["line_number"]] = max(lines.get(line["line_number"], 0), line["count"])
total = covered = 0
for name in sorted(files):
    hit = sum(1 for count in files[name].values() if count)
    total, covered = total + len(files[name]), covered + hit
    missed = sorted(number for number, count in files[name].items() if not count)
    if missed:
        print("%-40s %4d/%4d  missed: %s" % (name, hit, len(files[name]), " ".join(map(str, missed))))
print("TOTAL lines: %.1f%% (%d of %d)" % (100.0 * covered / total, covered, total))
PY
