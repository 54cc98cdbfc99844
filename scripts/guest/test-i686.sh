#!/usr/bin/env bash
# Runs the i686 build's test suites under 32-bit Wine in the test machine, in a 64-bit
# prefix as on 64-bit Windows, then the x64 build's end-to-end tests as a 64-bit Office
# against the 32-bit product (scripts/guest/suites.sh). The build tree (build/i686) and the
# scripts go in at their own paths; the logs come back in build/guest/results/i686.
#
#   scripts/guest/test-i686.sh [CTEST_ARGUMENTS...]
#
# Without arguments it runs every suite; ORVEX_GUEST_TESTS=boundary runs only those where
# the 32-bit build is most likely to differ (the host boundary and lifecycle, the
# registry, the end-to-end tests), for quicker local work. ORVEX_GUEST_GTEST_FILTER
# narrows the cases of the suites that run (GoogleTest's GTEST_FILTER), and
# ORVEX_GUEST_CTEST_ONLY=1 leaves out the stages before ctest (both Office bitnesses
# against a real installation, the 64-bit Office's end-to-end tests).
#
# Exit code: ctest's in the guest, 124 on the guest's timeout ($ORVEX_GUEST_TIMEOUT
# seconds, default 2400).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/i686
out=$root/build/guest/results/i686
[ -e "$build/CTestTestfile.cmake" ] || { echo "test-i686: no i686 build in $build" >&2; exit 2; }
if [ $# -eq 0 ] && [ "${ORVEX_GUEST_TESTS:-all}" = boundary ]; then
  set -- -R '^(host_.*|registration_provider_keys_tests|self_registration_tests|end_to_end_tests|installation_doctor_tests)$'
fi

# Each run's logs are its own.
rm -rf "$out"

# The build tree goes in without what only the build needs, and with its programs
# stripped: their debug information is most of their size, and everything that goes in
# is copied through the emulated machine.
tree=$root/build/guest/i686-tree
rm -rf "$tree"
mkdir -p "$tree"
tar -C "$build" --exclude=CMakeFiles --exclude='*.obj' --exclude='*.a' --exclude='*.debug' --exclude=wineprefix \
    --exclude=package --exclude=googletest -cf - . | tar -C "$tree" -xf -
find "$tree" \( -name '*.exe' -o -name '*.dll' \) -exec i686-w64-mingw32-strip --strip-debug {} +

# The 64-bit Office side: the x64 end-to-end tests with their own runtime DLLs.
stage=$(mktemp -d)
payload=$stage.sh
trap 'rm -rf "$stage" "$payload" "$tree"' EXIT
office64=-
x64=$root/build/x64/bin
if [ -e "$x64/end_to_end_tests.exe" ]; then
  cp "$x64/end_to_end_tests.exe" "$x64/OfficeStandIn.exe" "$x64"/libgcc_s_seh-1.dll "$x64"/libstdc++-6.dll \
     "$x64"/libwinpthread-1.dll "$stage/"
  x86_64-w64-mingw32-strip --strip-debug "$stage"/*.exe "$stage"/*.dll
  office64=$stage
fi
{
  [ -z "${ORVEX_GUEST_GTEST_FILTER:-}" ] || printf 'GTEST_FILTER=%q ' "$ORVEX_GUEST_GTEST_FILTER"
  [ -z "${ORVEX_GUEST_CTEST_ONLY:-}" ] || printf 'ORVEX_GUEST_CTEST_ONLY=%q ' "$ORVEX_GUEST_CTEST_ONLY"
  printf 'sh %q %q %q' "$root/scripts/guest/suites.sh" "$build" "$office64"
  [ $# -eq 0 ] || printf ' %q' "$@"
  echo
} > "$payload"

status=0
"$root/scripts/guest/run.sh" --timeout "${ORVEX_GUEST_TIMEOUT:-2400}" \
  --input "$root/scripts" --input "$tree=$build" --input "$stage" --out "$out" "$payload" || status=$?
if [ -e "$out/ctest.log" ]; then
  # The end of each failed test's output, since CI keeps only what is printed here; then
  # the failures in full, and the summary.
  awk '/Test +#[0-9]+: / { flush(); name = ""; n = 0 }
       /Test +#[0-9]+: .*\*\*\*/ { name = $0; next }
       /tests passed,/ { flush(); name = "" }
       name != "" { tail[n++ % 40] = $0 }
       function flush(  i) {
         if (name == "") return
         print "== " name
         for (i = (n > 40 ? n - 40 : 0); i < n; i++) print "   " tail[i % 40]
       }' "$out/ctest.log"
  sed -n '/^The following tests FAILED/,$p;/tests passed,/p' "$out/ctest.log"
fi
if [ -e "$out/office64.log" ]; then
  grep -h '^\[==========\]\|^\[  PASSED\|^\[  FAILED' "$out/office64.log" | sed 's/^/64-bit Office: /' || true
fi
cat "$out/stages.log" 2>/dev/null || true
if [ "$status" != 0 ]; then
  echo "test-i686: the i686 suites failed in the guest ($status); the logs are in $out" >&2
fi
exit "$status"
