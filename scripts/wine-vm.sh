#!/usr/bin/env bash
# Runs a command in the project folder inside a small Debian virtual machine
# whose kernel runs 32-bit programs, for machines whose own kernel does not:
# Wine needs them. The machine runs under qemu's software emulation (several
# times slower than the real processor) and sees the project folder at
# the same path; its Wine prefix is its own (/root/wineprefix).
#
#   scripts/wine-vm.sh COMMAND [ARG...]    exit status: the command's
#
# The first run makes the machine's disk in build/wine-vm (Debian with Wine,
# Xvfb and CMake, a few minutes); later runs start in about fifteen seconds.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
vm=$root/build/wine-vm
[ $# -ge 1 ] || { echo "usage: scripts/wine-vm.sh COMMAND [ARG...]" >&2; exit 2; }

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
"$root/scripts/install-deps.sh" vm

tree=$vm/tree
make_disk() {
  echo "wine-vm: making the machine's disk (Debian with Wine) in $vm"
  $SUDO rm -rf "$tree"
  mkdir -p "$vm"
  $SUDO debootstrap --variant=minbase --include=linux-image-amd64,initramfs-tools,kmod,udev \
    bookworm "$tree" http://deb.debian.org/debian >"$vm/debootstrap.log" 2>&1 ||
    { tail -20 "$vm/debootstrap.log" >&2; exit 1; }
  $SUDO cp /etc/resolv.conf "$tree/etc/resolv.conf"
  $SUDO mount --bind /proc "$tree/proc"
  $SUDO mount --bind /dev "$tree/dev"
  trap '$SUDO umount "$tree/proc" "$tree/dev" 2>/dev/null || true' EXIT
  $SUDO chroot "$tree" bash -c 'dpkg --add-architecture i386 && apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o Acquire::Retries=3 \
      --no-install-recommends wine wine32:i386 xvfb xauth cmake' >"$vm/packages.log" 2>&1 ||
    { tail -20 "$vm/packages.log" >&2; exit 1; }
  $SUDO umount "$tree/proc" "$tree/dev"
  trap - EXIT
  $SUDO install -m 755 /dev/stdin "$tree/sbin/kestrin-init" <<'EOF'
#!/bin/bash
# The machine's first and only process: mounts, runs /share/job.sh, powers off.
mount -t proc proc /proc
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
mount -o remount,rw /
modprobe 9pnet_virtio
modprobe 9p
mkdir -p /share
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 share /share
project=$(cat /share/project)
mkdir -p "$project"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose project "$project"
export HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8
cd "$project" && bash /share/job.sh >/share/output 2>&1
echo $? >/share/status
sync
cd /
umount "$project" /share
echo o >/proc/sysrq-trigger
sleep 10
EOF
  $SUDO cp "$tree"/boot/vmlinuz-* "$vm/vmlinuz"
  $SUDO cp "$tree"/boot/initrd.img-* "$vm/initrd"
  $SUDO chmod 644 "$vm/vmlinuz" "$vm/initrd"
  rm -f "$vm/disk.img"
  truncate -s 8G "$vm/disk.img.new"
  $SUDO mkfs.ext4 -q -d "$tree" -F "$vm/disk.img.new"
  mv "$vm/disk.img.new" "$vm/disk.img"
  $SUDO rm -rf "$tree"
}

[ -f "$vm/disk.img" ] || make_disk

share=$vm/share
rm -rf "$share"
mkdir -p "$share"
echo "$root" >"$share/project"
{
  echo "export KESTRIN_WINEPREFIX=/root/wineprefix"
  printf '%q ' "$@"
  echo
} >"$share/job.sh"
: >"$share/output"

# smap=off: with it on, the emulated processor faults on the return from
# interrupt that Wine's 32-bit code runs, and the guest kernel kills it.
qemu-system-x86_64 -m 4G -smp "$(nproc)" -accel tcg,thread=multi -cpu max,smap=off \
  -kernel "$vm/vmlinuz" -initrd "$vm/initrd" \
  -append "root=/dev/vda rw console=ttyS0 init=/sbin/kestrin-init quiet loglevel=3" \
  -drive "file=$vm/disk.img,format=raw,if=virtio,cache=unsafe" \
  -virtfs "local,path=$root,mount_tag=project,security_model=none" \
  -virtfs "local,path=$share,mount_tag=share,security_model=none" \
  -display none -serial "file:$vm/console.log" -no-reboot &
machine=$!
tail -n +1 --pid=$machine -f "$share/output"
wait $machine || true
if [ ! -s "$share/status" ]; then
  echo "wine-vm: the machine stopped before the command ended (see $vm/console.log)" >&2
  exit 1
fi
exit "$(cat "$share/status")"
