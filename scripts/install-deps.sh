#!/usr/bin/env bash
# Installs every package the build, the tests, the benchmarks and the demo use.
# Safe to run again: it only installs what is missing.
set -euo pipefail

# zip and unzip pack and check the release zip; xauth serves xvfb-run;
# imagemagick converts the pictures of scripts/demo.sh and scripts/pictures.sh.
need_native=(cmake ninja-build g++ python3 clang-14 libclang-rt-14-dev clang-format
             googletest libgtest-dev libgmock-dev zip unzip)
need_cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
need_wine=(wine wine32:i386 xvfb xauth imagemagick)

missing=()
for p in "${need_native[@]}" "${need_cross[@]}" "${need_wine[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# Some kernels run no 32-bit programs (no IA-32 emulation): Wine's 32-bit
# loader then fails with "Exec format error". Such a machine runs it under
# QEMU's user-mode emulation, registered with the kernel's binfmt_misc.
enable_i386_programs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  echo "This kernel runs no 32-bit programs: running them under qemu-i386"
  if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'ok installed'; then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends qemu-user-static
  fi
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e $binfmt/register ] || $SUDO mount -t binfmt_misc binfmt_misc $binfmt
  if [ ! -e $binfmt/qemu-i386 ]; then
    # The ELF header of a 32-bit x86 executable or shared object.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FOC' |
      $SUDO tee $binfmt/register >/dev/null
  fi
  /usr/lib/wine/wine --version >/dev/null
}

if [ ${#missing[@]} -eq 0 ]; then
  enable_i386_programs
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
enable_i386_programs
