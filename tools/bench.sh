#!/usr/bin/env bash
# Runs the end-to-end benchmark, or the bounded soak, under Wine in a private prefix:
#   tools/bench.sh                figures for 2000 calls (round trips, pushes, start-up, memory)
#   tools/bench.sh 5000           the same with another count
#   tools/bench.sh soak 180       the soak, 180 seconds (exit code 1 if any call failed unexpectedly)
set -euo pipefail
ORVEX_PROGRAM_BUILD=${ORVEX_BENCH_BUILD:-build/x64} \
  exec "$(dirname "$0")/wine-program.sh" end_to_end_bench bench end_to_end_bench.exe "$@"
