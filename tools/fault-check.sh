#!/usr/bin/env bash
# Checks that the tests catch deliberate faults. Each fault under tools/faults/ is a patch
# of one plausible mistake in the library, headed by two lines:
#   Fault: what the mistake does
#   Tests: the ctest regular expression of the tests that guard that code
# For each fault the script applies the patch, builds only the targets of those tests,
# runs them (one at a time, stopping at the first failure), records which test caught the
# fault, and takes the patch back, also when it is interrupted.
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

applied=
revert() {
  if [ -n "$applied" ]; then
    git apply -R "$applied" && echo "reverted $(basename "$applied")" >&2
    applied=
  fi
}
trap revert EXIT
trap 'revert; exit 130' INT TERM

# The build targets, to tell test names that are targets from tests of other kinds.
targets=$(cmake --build "$build" --target help 2>/dev/null | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')

header() { sed -n "s/^$1: //p" "$2" | head -n 1; }

printf '| Fault | What it does | Result | Caught by |\n|---|---|---|---|\n' > "$table"
: > "$log"
for patch in "${faults[@]}"; do
  name=$(basename "$patch" .patch)
  description=$(header Fault "$patch")
  regex=$(header Tests "$patch")
  echo "== $name: $description" | tee -a "$log" >&2
  git apply "$patch"
  applied=$patch

  tests=$(ctest --test-dir "$build" -N -R "$regex" | sed -n 's/^ *Test *#[0-9]*: //p')
  build_targets=()
  for test in $tests; do
    if grep -qx -- "$test" <<<"$targets"; then build_targets+=("$test"); fi
  done
  result=missed
  catcher=
  if ! cmake --build --preset "$preset" --target "${build_targets[@]}" >>"$log" 2>&1; then
    result="not built"
  elif ! ctest --test-dir "$build" -R "$regex" --timeout 180 --stop-on-failure >>"$log" 2>&1; then
    result=caught
    # The failing executable and, when GoogleTest ran, its first failing test.
    catcher=$(sed -n 's/^[0-9]*:\(.*\)$/\1/p' "$build/Testing/Temporary/LastTestsFailed.log" 2>/dev/null |
              grep -v '^wine\.' | head -n 1 || true)
    first=$(grep -m 1 -o '\[  FAILED  \] [A-Za-z0-9_/.]*' "$build/Testing/Temporary/LastTest.log" 2>/dev/null |
            sed 's/\[  FAILED  \] //' || true)
    [ -z "$first" ] || catcher="$catcher ($first)"
  fi
  scripts/wine-services.sh stop "$PWD/$build/wineprefix"
  revert
  echo "   $result ${catcher}" >&2
  printf '| %s | %s | %s | %s |\n' "$name" "$description" "$result" "$catcher" >> "$table"
done

echo "table: $table" >&2
cat "$table"
