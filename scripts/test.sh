#!/usr/bin/env bash
# Builds everything and runs every test suite: the native core tests (plain
# and under AddressSanitizer and UndefinedBehaviorSanitizer), a short fuzz run,
# and the Wine suite of the real DLL under Xvfb; before them the formatting and
# the include direction of the layers are checked.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/build.sh
scripts/format.sh --check
scripts/check-layers.sh

for preset in native asan; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j2
done

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzz (short) =="
  scripts/fuzz.sh --short
fi

echo "== cross (Wine) =="
cmake --build --preset cross
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset cross
