#!/usr/bin/env bash
# Builds the IDL compiler for the type library from Debian's mingw-w64 source package,
# with the patches in scripts/patches/, and installs it into <repo>/.toolchain:
#   bin/widl              the compiler
#   include/*.idl         the system IDL files of the same mingw-w64 release
#   lib/stdole2.tlb       the OLE automation library that the type library imports
# Idempotent: does nothing when bin/widl exists and is newer than every patch.
# Stock widl cannot write libraries of more than 512 type infos, nor module constants.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix="$root/.toolchain"
widl="$prefix/bin/widl"
patches=("$root"/scripts/patches/widl-*.patch)

up_to_date=1
if [ ! -x "$widl" ] || [ ! -f "$prefix/lib/stdole2.tlb" ] || [ ! -f "$prefix/include/oaidl.idl" ]; then
  up_to_date=0
else
  for patch in "${patches[@]}"; do
    if [ "$patch" -nt "$widl" ]; then up_to_date=0; fi
  done
fi
if [ "$up_to_date" = 1 ]; then
  exit 0
fi

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

echo "build-widl: building widl into $prefix"

tools=(build-essential dpkg-dev patch)
missing=()
for package in "${tools[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

# apt-get source needs a deb-src entry for the installed suite.
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
if ! grep -rqsE "^(deb-src .*[[:space:]]$suite[[:space:]]|Types:.*deb-src)" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  as_root tee /etc/apt/sources.list.d/debian-src.sources >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  need_update=1
fi
if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
  as_root apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
apt-get source -qq mingw-w64 >/dev/null 2>&1 || apt-get source mingw-w64
source_dir=$(find "$work" -maxdepth 1 -type d -name 'mingw-w64-*' | head -n 1)
if [ -z "$source_dir" ]; then
  echo "build-widl: apt-get source mingw-w64 gave no source tree" >&2
  exit 1
fi

cd "$source_dir/mingw-w64-tools/widl"
for patch in "${patches[@]}"; do
  patch -p1 --forward --silent < "$patch"
done

mkdir -p "$work/build"
cd "$work/build"
"$source_dir/mingw-w64-tools/widl/configure" --target=x86_64-w64-mingw32 \
  --prefix="$prefix" --with-widl-includedir="$prefix/include" >/dev/null
make -j"$(nproc)" >/dev/null 2>"$work/make.log" || { cat "$work/make.log" >&2; exit 1; }

mkdir -p "$prefix/bin" "$prefix/include" "$prefix/lib"
cp "$source_dir"/mingw-w64-headers/include/*.idl "$prefix/include/"
cp "$source_dir/mingw-w64-headers/tlb/stdole2.tlb" "$prefix/lib/"
install -m 0755 widl "$widl.new"
mv "$widl.new" "$widl"
echo "build-widl: $("$widl" -V | head -n 1)"
