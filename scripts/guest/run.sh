#!/usr/bin/env bash
# Runs a payload in the 32-bit test machine, a QEMU guest (software emulation) built by
# scripts/guest/build-image.sh, and exits with the payload's exit code.
#
#   scripts/guest/run.sh [--timeout SECONDS] [--input DIR[=GUEST_DIR]]... [--persistent] --out DIR PAYLOAD
#
# Each --input directory is copied into the guest at GUEST_DIR, by default its own absolute
# path (object files, CMakeFiles and Wine prefixes left out). PAYLOAD, a shell script, runs as root with
# $ORVEX_GUEST_OUT naming a directory that comes back as --out; its output lands in
# <out>/payload.log and the guest's console in <out>/console.log. The guest's disk is
# thrown away afterwards unless --persistent (used once, to finish building the image).
# Exit code 124 when the timeout (default 1800 s) ends the guest.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
guest_dir=${ORVEX_GUEST_DIR:-$(cd "$here/../.." && pwd)/build/guest}

timeout=1800
persistent=0
out=
inputs=()
while [ $# -gt 1 ]; do
  case "$1" in
    --timeout) timeout=$2; shift 2 ;;
    --input) inputs+=("$2"); shift 2 ;;
    --out) out=$2; shift 2 ;;
    --persistent) persistent=1; shift ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
payload=${1:?"usage: run.sh [--timeout S] [--input DIR[=GUEST_DIR]]... [--persistent] --out DIR PAYLOAD"}
[ -n "$out" ] || { echo "run.sh: --out DIR is required" >&2; exit 2; }
for file in vmlinuz initrd.img disk.img; do
  [ -e "$guest_dir/$file" ] || { echo "run.sh: no guest image in $guest_dir (scripts/setup.sh builds it)" >&2; exit 2; }
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out/exit-code" "$out/payload.log" "$out/console.log"
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
cp "$payload" "$control/payload.sh"

shares=(-virtfs "local,path=$control,mount_tag=control,security_model=none,readonly=on"
        -virtfs "local,path=$out,mount_tag=out,security_model=none")
: > "$control/inputs"
for index in "${!inputs[@]}"; do
  source_dir=$(cd "${inputs[$index]%%=*}" && pwd)
  guest_path=$source_dir
  case "${inputs[$index]}" in *=*) guest_path=${inputs[$index]#*=} ;; esac
  shares+=(-virtfs "local,path=$source_dir,mount_tag=input$index,security_model=none,readonly=on")
  echo "input$index $guest_path" >> "$control/inputs"
done

snapshot=on
[ "$persistent" = 1 ] && snapshot=off

# -cpu max alone makes the guest kernel oops as soon as Wine starts (this QEMU faults a
# user-mode iret with SMAP on), hence -smap. The guest runs nothing but the payload, and
# every system call it makes is emulated: its kernel's speculation barriers only cost.
status=0
timeout -k 20 "$timeout" qemu-system-x86_64 \
  -machine q35 -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 3072 \
  -kernel "$guest_dir/vmlinuz" -initrd "$guest_dir/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 init=/sbin/orvex-guest-init panic=-1 quiet mitigations=off" \
  -drive "file=$guest_dir/disk.img,format=raw,if=virtio,snapshot=$snapshot" \
  "${shares[@]}" \
  -nic none -display none -no-reboot -serial "file:$out/console.log" -monitor none \
  </dev/null >"$out/qemu.log" 2>&1 || status=$?

if [ "$status" = 124 ] || [ "$status" = 137 ]; then
  echo "run.sh: the guest was stopped after $timeout s; its console ends:" >&2
  tail -n 20 "$out/console.log" >&2 || true
  exit 124
fi
if [ ! -s "$out/exit-code" ]; then
  echo "run.sh: the guest ended without the payload's exit code (qemu $status); its console ends:" >&2
  tail -n 20 "$out/console.log" "$out/qemu.log" >&2 || true
  exit 125
fi
exit "$(cat "$out/exit-code")"
