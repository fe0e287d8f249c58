#!/usr/bin/env bash
# Installs every package the build, the tests, the benchmarks and the demo use;
# with the argument "vm", only those of scripts/wine-vm.sh (the virtual
# machine that runs Wine where the kernel runs no 32-bit programs).
# Safe to run again: it only installs what is missing.
set -euo pipefail

# zip and unzip pack and check the release zip; xauth serves xvfb-run;
# imagemagick converts the pictures of scripts/demo.sh and scripts/pictures.sh.
need_native=(cmake ninja-build g++ python3 clang-14 libclang-rt-14-dev clang-format
             googletest libgtest-dev libgmock-dev zip unzip)
need_cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
need_wine=(wine wine32:i386 xvfb xauth imagemagick)
need_vm=(qemu-system-x86 debootstrap e2fsprogs)

wanted=("${need_native[@]}" "${need_cross[@]}" "${need_wine[@]}")
[ "${1:-}" = vm ] && wanted=("${need_vm[@]}")
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
