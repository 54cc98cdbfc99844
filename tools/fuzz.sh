#!/usr/bin/env bash
# The long fuzzing run under Wine in a private prefix: hostile input on every member of
# every object the provider hands out, in process and across processes.
#   tools/fuzz.sh                                 1,000,000 calls in process, 100,000 across
#   tools/fuzz.sh --seconds 900 --seed 7          at most 900 seconds for each of the two runs
# Any other option goes to the fuzzer (`fuzz.exe --help`, tools/fuzz/main.cpp). Exit code 0 when clean.
set -euo pipefail
ORVEX_PROGRAM_BUILD=${ORVEX_FUZZ_BUILD:-build/x64} \
  exec "$(dirname "$0")/wine-program.sh" orvex_fuzz fuzz fuzz.exe --calls 1000000 --cross-calls 100000 "$@"
