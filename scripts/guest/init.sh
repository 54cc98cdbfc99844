#!/bin/sh
# The guest's init (PID 1): mounts what a payload needs, copies its inputs into tmpfs,
# runs it with its output in files, hands back its exit code and powers off. Nothing
# else runs in the guest.
PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export PATH

# The initramfs may have mounted some of these already.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
hostname orvex-guest
ip link set lo up 2>/dev/null

power_off() {
  sync
  echo o > /proc/sysrq-trigger
  sleep 60
}

modprobe 9pnet_virtio
modprobe 9p
mkdir -p /mnt/control /mnt/out
opts=trans=virtio,version=9p2000.L,msize=262144
if ! mount -t 9p -o "$opts" control /mnt/control || ! mount -t 9p -o "$opts" out /mnt/out; then
  echo "orvex-guest: the host's shares are missing"
  power_off
fi

# Programs run straight off a 9p share load with zeroed code pages: every input is copied
# into a tmpfs at the absolute path it has on the host, so that build trees that name
# their own paths (ctest's files) work unchanged.
while read -r tag destination; do
  [ -n "$tag" ] || continue
  mkdir -p "/mnt/$tag" "$destination"
  mount -t 9p -o "$opts,ro" "$tag" "/mnt/$tag"
  mount -t tmpfs -o size=75% tmpfs "$destination"
  tar -C "/mnt/$tag" --exclude=CMakeFiles --exclude='*.obj' --exclude='*.a' --exclude=wineprefix -cf - . \
    | tar -C "$destination" -xf -
  umount "/mnt/$tag"
done < /mnt/control/inputs

export HOME=/root ORVEX_GUEST_OUT=/mnt/out
cd /root
echo "orvex-guest: payload starts $(date -u +%T)"
# Never a pipe: Wine's helper processes would inherit it and keep it open.
sh /mnt/control/payload.sh > /mnt/out/payload.log 2>&1 < /dev/null
code=$?
echo "orvex-guest: payload ended $(date -u +%T) with exit code $code"
echo "$code" > /mnt/out/exit-code
# Whatever the payload left running (Wine's server, above all) goes before the share.
kill -KILL -1 2>/dev/null
sleep 1
umount /mnt/out
power_off
