#!/usr/bin/env bash
# The long fuzzing run under Wine in a private prefix: hostile input on every member of
# every object the provider hands out, in process and across processes.
#   tools/fuzz.sh                                 1,000,000 calls in process, 100,000 across
#   tools/fuzz.sh --seconds 900 --seed 7          at most 900 seconds for each of the two runs
# Any other option goes to the fuzzer (tools/fuzz/FuzzOptions.cpp). Exit code 0 when clean.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
build=${ORVEX_FUZZ_BUILD:-build/x64}
cmake --preset x64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target orvex_fuzz >"$build/fuzz-build.log" 2>&1 ||
  { tail -n 40 "$build/fuzz-build.log"; exit 1; }
prefix="$root/$build/fuzz-prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
scripts/wine-services.sh start "$prefix"
trap 'scripts/wine-services.sh stop "$prefix"' EXIT
cd "$build/bin"
"${ORVEX_WINE:-/usr/lib/wine/wine64}" fuzz.exe --calls 1000000 --cross-calls 100000 "$@"
