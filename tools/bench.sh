#!/usr/bin/env bash
# Runs the end-to-end benchmark, or the bounded soak, under Wine in a private prefix:
#   tools/bench.sh                figures for 2000 calls (round trips, pushes, start-up, memory)
#   tools/bench.sh 5000           the same with another count
#   tools/bench.sh soak 180       the soak, 180 seconds (exit code 1 if any call failed unexpectedly)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
build=${ORVEX_BENCH_BUILD:-build/x64}
cmake --preset x64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target end_to_end_bench >"$build/bench-build.log" 2>&1 ||
  { tail -n 40 "$build/bench-build.log"; exit 1; }
prefix="$root/$build/bench-prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
scripts/wine-services.sh start "$prefix"
trap '"$root/scripts/wine-services.sh" stop "$prefix"' EXIT
cd "$build/bin"
"${ORVEX_WINE:-/usr/lib/wine/wine64}" end_to_end_bench.exe "$@"
