#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian (bookworm) machine. Idempotent:
# packages already present are not touched, and the patched widl is built once.
# With --guest it also builds the 32-bit test machine's image once (scripts/guest/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-x86-64
          binutils-mingw-w64-i686 wine wine64 libwine-dev googletest python3
          debootstrap qemu-system-x86 e2fsprogs)
missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ -x "$root/scripts/build-widl.sh" ]; then
  "$root/scripts/build-widl.sh"
fi

if [ "${1:-}" = "--guest" ]; then
  "$root/scripts/guest/build-image.sh"
fi
