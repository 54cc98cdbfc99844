#!/usr/bin/env bash
# The README's test command: set-up, the 64-bit build with every test run under Wine
# here, then the shipped 32-bit build with its suites run under 32-bit Wine in the test
# machine (scripts/guest/), which these machines need to run 32-bit code at all. Fails
# when any step or test of either fails.
#
#   scripts/test.sh [--x64-only]
#
# --x64-only (or ORVEX_GUEST=0) leaves out the test machine, for quick local work: the end
# then says loudly that the shipped build was not tested.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

skip_guest=
case "${1:-}" in
  --x64-only) skip_guest=yes ;;
  --guest) ;;
  "") if [ "${ORVEX_GUEST:-1}" = 0 ]; then skip_guest=yes; fi ;;
  *) echo "usage: scripts/test.sh [--x64-only]" >&2; exit 2 ;;
esac
stage() { echo "== $1 ($(date -u +%T)) =="; }
started=$(date +%s)
elapsed() { echo "$(( $(date +%s) - started )) s"; }

stage "set-up"
scripts/setup.sh

# The test machine's image is built (once, from Debian's packages) while the builds run:
# most of its time is downloading and unpacking, not compiling.
image_pid=
if [ -z "$skip_guest" ]; then
  mkdir -p build
  scripts/guest/build-image.sh > build/guest-image.log 2>&1 &
  image_pid=$!
fi

stage "x64: build and tests"
cmake --preset x64 >/dev/null
cmake --build --preset x64
x64_status=0
ctest --preset x64 || x64_status=$?
echo "x64 done at $(elapsed)"

# The shipped product: it must build warning-free, with its test suites when they run.
stage "i686: build"
cmake --preset i686 >/dev/null
if [ -n "$skip_guest" ]; then
  cmake --build --preset i686 --target orvex_office_integration orvex_host_standin orvex_office_standin
else
  cmake --build --preset i686
fi
# The package the messenger's build consumes, from the shipped build.
cmake --install build/i686 --prefix build/i686/package >/dev/null
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL=build/i686/bin/orvex-windows-office-integration.dll \
      "-DEXPECTED_EXTRA=DllRegisterServer;DllUnregisterServer;DllInstall" -P cmake/CheckExports.cmake
cmake -DTLB=build/i686/generated/OfficeIntegrationLib.tlb -P registration/CheckTypeLibraryFile.cmake
echo "i686 build done at $(elapsed)"

i686_status=0
if [ -n "$skip_guest" ]; then
  echo "############################################################################"
  echo "## The shipped 32-bit build was NOT tested: only the 64-bit build's tests  ##"
  echo "## ran (--x64-only). Without it the i686 suites run in the test machine.  ##"
  echo "############################################################################"
else
  stage "i686: the test machine's image"
  image_status=0
  wait "$image_pid" || image_status=$?
  cat build/guest-image.log
  echo "image ready at $(elapsed)"
  if [ "$image_status" != 0 ]; then
    echo "test: the test machine's image could not be built ($image_status)" >&2
    i686_status=$image_status
  else
    stage "i686: tests under 32-bit Wine in the test machine"
    # Whatever happens in the guest, the run ends with a verdict well inside CI's 90
    # minutes rather than being cut off.
    budget=$(( ${ORVEX_TEST_BUDGET_SECONDS:-5100} - ($(date +%s) - started) ))
    ORVEX_GUEST_TIMEOUT=$(( budget > 900 ? budget : 900 )) scripts/guest/test-i686.sh || i686_status=$?
  fi
fi
stage "done"

echo "x64 tests: exit $x64_status; i686 tests: $([ -n "$skip_guest" ] && echo "NOT RUN" || echo "exit $i686_status"); $(elapsed) in all"
# The size of the suite against the code it tests, where the shared tools are at hand.
if [ -f ../shared/tools/code-ratio.sh ]; then
  bash ../shared/tools/code-ratio.sh .
fi
[ "$x64_status" = 0 ] && [ "$i686_status" = 0 ]
