#!/usr/bin/env bash
# The README's test command: set-up, the 64-bit build with every test run under Wine
# here, then the shipped 32-bit build with its tests run under 32-bit Wine in the test
# machine (scripts/guest/), which these machines need to run 32-bit code at all. Fails
# when any step or test of either fails.
#
# The test machine does not run 32-bit Wine programs yet (its prefix lacks the 32-bit
# side), so the guest stage runs only with ORVEX_GUEST=1; without it the 64-bit part runs
# alone and the end says loudly that the shipped build was not tested.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

skip_guest=yes
[ "${ORVEX_GUEST:-}" = 1 ] && skip_guest=
stage() { echo "== $1 ($(date -u +%T)) =="; }

stage "set-up"
if [ -n "$skip_guest" ]; then scripts/setup.sh; else scripts/setup.sh --guest; fi

stage "x64: build and tests"
cmake --preset x64 >/dev/null
cmake --build --preset x64
x64_status=0
ctest --preset x64 || x64_status=$?

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

i686_status=0
if [ -n "$skip_guest" ]; then
  echo "############################################################################"
  echo "## The shipped 32-bit build was NOT tested: only the 64-bit build's tests  ##"
  echo "## ran. ORVEX_GUEST=1 runs the i686 suites in the 32-bit test machine.     ##"
  echo "############################################################################"
else
  stage "i686: tests under 32-bit Wine in the test machine"
  scripts/guest/test-i686.sh || i686_status=$?
fi
stage "done"

echo "x64 tests: exit $x64_status; i686 tests: $([ -n "$skip_guest" ] && echo "NOT RUN" || echo "exit $i686_status")"
# The size of the suite against the code it tests, where the shared tools are at hand.
if [ -f ../shared/tools/code-ratio.sh ]; then
  bash ../shared/tools/code-ratio.sh .
fi
[ "$x64_status" = 0 ] && [ "$i686_status" = 0 ]
