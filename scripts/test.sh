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
# Wine runs the 32-bit test programs only where the kernel runs 32-bit
# programs itself; under an emulator of user programs (qemu-i386 through
# binfmt_misc) Wine hangs. Elsewhere the Wine suite runs in a virtual machine
# whose kernel does (scripts/wine-vm.sh), and the other checks of the cross
# build here.
runs_i386() {
  local handler=/proc/sys/fs/binfmt_misc/qemu-i386
  if [ -e $handler ] && grep -qx enabled $handler; then return 1; fi
  /usr/lib/wine/wine --version >/dev/null 2>&1
}
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")
if runs_i386; then
  "${xvfb[@]}" ctest --preset cross
else
  echo "This kernel runs no 32-bit programs: the Wine suite runs in a virtual machine."
  ctest --preset cross -LE wine
  scripts/wine-vm.sh "${xvfb[@]}" ctest --preset cross -L wine
fi
