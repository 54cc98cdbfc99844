#!/usr/bin/env bash
# Builds one program of the x64 preset and runs it under Wine from the programs' directory,
# in a private prefix whose services are started before it and stopped after it:
#   tools/wine-program.sh TARGET NAME PROGRAM.exe [ARGUMENTS...]
# NAME names the prefix (<build>/NAME-prefix) and the build log (<build>/NAME-build.log).
# ORVEX_PROGRAM_BUILD moves the build tree (default build/x64); ORVEX_WINE picks the loader.
# The exit code is the program's.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
target=${1:?target}
name=${2:?name}
program=${3:?program}
shift 3
scripts/setup.sh
build=${ORVEX_PROGRAM_BUILD:-build/x64}
cmake --preset x64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target "$target" >"$build/$name-build.log" 2>&1 ||
  { tail -n 40 "$build/$name-build.log"; exit 1; }
prefix="$root/$build/$name-prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
"$root/scripts/wine-services.sh" start "$prefix"
# An absolute path: the program runs from the build's bin/ directory.
trap '"$root/scripts/wine-services.sh" stop "$prefix"' EXIT
cd "$build/bin"
"${ORVEX_WINE:-/usr/lib/wine/wine64}" "$program" "$@"
