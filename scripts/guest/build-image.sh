#!/usr/bin/env bash
# Builds the 32-bit test machine once: a Debian bookworm amd64 guest with its own kernel
# and a 32-bit Wine (wine, wine64, wine32:i386), from Debian's packages alone. These
# machines cannot run 32-bit x86 code; a full-system QEMU guest can.
#
# The image lands in build/guest/ (or $ORVEX_GUEST_DIR) and is rebuilt only when its
# recipe (this script and the guest's init) changes. Needs root, debootstrap, qemu.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
guest_dir=${ORVEX_GUEST_DIR:-$(cd "$here/../.." && pwd)/build/guest}
mirror=${ORVEX_GUEST_MIRROR:-http://deb.debian.org/debian}

recipe=$(cat "$here/build-image.sh" "$here/init.sh" | sha256sum | cut -d' ' -f1)
if [ -e "$guest_dir/disk.img" ] && [ "$(cat "$guest_dir/recipe" 2>/dev/null)" = "$recipe" ]; then
  echo "guest: image up to date ($guest_dir)"
  exit 0
fi

started=$(date +%s)
echo "guest: building the image in $guest_dir (several minutes)"
mkdir -p "$guest_dir"
rm -f "$guest_dir/recipe" "$guest_dir/disk.img"
rootfs=$guest_dir/rootfs
log=$guest_dir/build.log
: > "$log"

unmount_chroot() {
  for mount in dev/pts dev sys proc; do
    mountpoint -q "$rootfs/$mount" && umount -l "$rootfs/$mount"
  done
  return 0
}
trap unmount_chroot EXIT
unmount_chroot
rm -rf --one-file-system "$rootfs"

debootstrap --variant=minbase --arch=amd64 bookworm "$rootfs" "$mirror" >>"$log" 2>&1 \
  || { tail -n 20 "$log" >&2; echo "guest: debootstrap failed (log: $log)" >&2; exit 1; }
mount -t proc proc "$rootfs/proc"
mount -t sysfs sys "$rootfs/sys"
mount --bind /dev "$rootfs/dev"
mount --bind /dev/pts "$rootfs/dev/pts"

in_chroot() {
  chroot "$rootfs" env DEBIAN_FRONTEND=noninteractive LC_ALL=C "$@" >>"$log" 2>&1
}
in_chroot dpkg --add-architecture i386
in_chroot apt-get update
# The kernel first, so that its initramfs is made before anything can fail.
in_chroot apt-get install -y --no-install-recommends linux-image-amd64 kmod procps cmake
# The i386 maintainer scripts that the chroot cannot run (these machines cannot execute
# 32-bit code) fail here; the guest's first boot finishes them.
in_chroot apt-get install -y --no-install-recommends wine wine64 wine32:i386 wine64-preloader \
  wine32-preloader:i386 \
  || echo "guest: some 32-bit packages are left for the first boot" | tee -a "$log"
in_chroot apt-get clean
rm -rf --one-file-system "$rootfs"/usr/share/doc/* "$rootfs"/usr/share/man/* "$rootfs"/var/lib/apt/lists/*
unmount_chroot

install -m 0755 "$here/init.sh" "$rootfs/sbin/orvex-guest-init"
cp "$(ls "$rootfs"/boot/vmlinuz-* | sort -V | tail -n 1)" "$guest_dir/vmlinuz"
cp "$(ls "$rootfs"/boot/initrd.img-* | sort -V | tail -n 1)" "$guest_dir/initrd.img"

# Room for the Wine prefixes the payloads make (the file is sparse).
size_mb=$(( $(du -sm "$rootfs" | cut -f1) + 6144 ))
mkfs.ext4 -q -F -L orvex-guest -d "$rootfs" "$guest_dir/disk.img" "${size_mb}M" >>"$log" 2>&1
rm -rf --one-file-system "$rootfs"

# First boot: the packages' configuration finishes, and a fresh 64-bit Wine prefix is
# kept as a template (a new prefix costs about a minute in the guest).
first_boot=$(mktemp)
cat > "$first_boot" <<'EOF'
set -e
dpkg --configure -a
wine --version
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=/opt/orvex/wineprefix
mkdir -p "$WINEPREFIX"
# Made by the 32-bit loader, the new prefix is a 64-bit one with its 32-bit side
# (syswow64); made by wine64 it gets no syswow64 and every 32-bit program then fails with
# "could not load kernel32.dll". Under emulation the loader stops waiting for the boot
# long before the boot ends (and says it could not load kernel32.dll): the boot goes on
# in the background, so wait for its processes rather than for the loader.
/usr/lib/wine/wine wineboot -i || true
for second in $(seq 0 5 900); do
  pgrep -f 'wineboot.exe|rundll32.exe|regsvr32.exe' >/dev/null || break
  sleep 5
done
echo "the prefix's boot ended after about $second s"
wineserver -k || true
wineserver -w
# One server for the checks below: each new session boots the prefix again (a minute).
wineserver -p
test -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll"
test -e "$WINEPREFIX/drive_c/windows/system32/kernel32.dll"
# The point of the machine: a 32-bit and a 64-bit program run in the 64-bit prefix.
/usr/lib/wine/wine cmd /c ver
/usr/lib/wine/wine64 cmd /c ver
wineserver -k
wineserver -w
EOF
status=0
"$here/run.sh" --persistent --timeout 2400 --out "$guest_dir/first-boot" "$first_boot" || status=$?
rm -f "$first_boot"
if [ "$status" != 0 ]; then
  tail -n 30 "$guest_dir/first-boot/payload.log" >&2 || true
  echo "guest: the first boot failed ($status)" >&2
  exit 1
fi

echo "$recipe" > "$guest_dir/recipe"
echo "guest: image built in $(( $(date +%s) - started )) s"
