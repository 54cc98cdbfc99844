#!/usr/bin/env bash
# Checks that the tests catch deliberate faults. Each fault under tools/faults/ is a patch
# of one plausible mistake in the library, headed by two lines:
#   Fault: what the mistake does
#   Tests: the ctest regular expression of the tests that guard that code
# and optionally a line "Likely: NAME..." of the tests to try first, and a line
# "Expect: the build fails" for a fault the build must refuse. For each fault the
# script applies the patch, then builds and runs those tests one at a time (the likely ones
# first, then the others in the order ctest lists them) until one fails; it records that
# test and takes the patch back, also when it is interrupted. Building test by test keeps
# each fault's work small: most faults are caught by the first test executable.
#
#   tools/fault-check.sh [--preset NAME] [--table FILE] [FAULT.patch...]
#
# The build tree must be configured (cmake --preset NAME). The table (markdown) lists for
# each fault: caught, missed, or not built (the patch does not compile: a fault to mend).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
preset=x64
table=
while [ $# -gt 0 ]; do
  case "$1" in
    --preset) preset=$2; shift 2 ;;
    --table) table=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "usage: $0 [--preset NAME] [--table FILE] [FAULT.patch...]" >&2; exit 2 ;;
    *) break ;;
  esac
done
cd "$root"
build=build/$preset
[ -f "$build/CMakeCache.txt" ] || { echo "$build is not configured: cmake --preset $preset" >&2; exit 2; }
faults=("$@")
[ ${#faults[@]} -gt 0 ] || faults=(tools/faults/*.patch)
table=${table:-$build/fault-table.md}
log=$build/fault-check.log
prefix=$PWD/$build/wineprefix

applied=
finish() {
  if [ -n "$applied" ]; then
    git apply -R "$applied" && echo "reverted $(basename "$applied")" >&2
    applied=
  fi
  scripts/wine-services.sh stop "$prefix"
}
trap finish EXIT
trap 'finish; trap - EXIT; exit 130' INT TERM

# Test executables are build targets of the same name; other tests (scripts) are skipped.
targets=$(cmake --build "$build" --target help 2>/dev/null | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
header() { sed -n "s/^$1: //p" "$2" | head -n 1; }

printf '| Fault | What it does | Result | Caught by |\n|---|---|---|---|\n' > "$table"
: > "$log"
for patch in "${faults[@]}"; do
  name=$(basename "$patch" .patch)
  description=$(header Fault "$patch")
  regex=$(header Tests "$patch")
  echo "== $name: $description" | tee -a "$log" >&2
  # Fresh Wine services for each fault, run for all its tests: what a faulty library left
  # behind in them (a class object of a process that died) must not fail the next fault's
  # tests and pass for a catch.
  scripts/wine-services.sh stop "$prefix"
  scripts/wine-services.sh start "$prefix"
  git apply "$patch"
  applied=$patch

  result=missed
  catcher=
  guarding=$(ctest --test-dir "$build" -N -R "$regex" | sed -n 's/^ *Test *#[0-9]*: //p')
  ordered=$( (for test in $(header Likely "$patch"); do grep -x -- "$test" <<<"$guarding" || true; done
              echo "$guarding") | awk 'NF && !seen[$0]++')
  for test in $ordered; do
    grep -qx -- "$test" <<<"$targets" || continue
    if ! cmake --build --preset "$preset" --target "$test" >>"$log" 2>&1; then
      # A fault the build itself must refuse (an include up the layers) is caught by it.
      if [ "$(header Expect "$patch")" = "the build fails" ]; then
        result=caught
        catcher="the build ($test)"
      else
        result="not built"
        catcher=$test
      fi
      break
    fi
    if ! ctest --test-dir "$build" -R "^$test\$" -FS wine -FC wine --timeout 180 >>"$log" 2>&1; then
      result=caught
      # The executable and, when GoogleTest ran, its first failing test.
      first=$(grep -m 1 -o '\[  FAILED  \] [A-Za-z0-9_/.]*' "$build/Testing/Temporary/LastTest.log" 2>/dev/null |
              sed 's/\[  FAILED  \] //' || true)
      catcher="$test${first:+ ($first)}"
      break
    fi
  done
  git apply -R "$patch"
  applied=
  echo "   $result $catcher" >&2
  printf '| %s | %s | %s | %s |\n' "$name" "$description" "$result" "$catcher" >> "$table"
done

echo "table: $table" >&2
cat "$table"
