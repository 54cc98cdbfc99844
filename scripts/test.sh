#!/usr/bin/env bash
# The README's test command: set-up, the 64-bit build with every test run under Wine,
# and the 32-bit product build. Fails when any step or test fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

cmake --preset x64 >/dev/null
cmake --build --preset x64
ctest --preset x64

# The shipped product: it must build warning-free.
cmake --preset i686 >/dev/null
cmake --build --preset i686 --target orvex_office_integration orvex_host_standin orvex_office_standin
# The package the messenger's build consumes, from the shipped build.
cmake --install build/i686 --prefix build/i686/package >/dev/null
cmake -DOBJDUMP=i686-w64-mingw32-objdump -DDLL=build/i686/bin/orvex-windows-office-integration.dll \
      "-DEXPECTED_EXTRA=DllRegisterServer;DllUnregisterServer;DllInstall" -P cmake/CheckExports.cmake
cmake -DTLB=build/i686/generated/OfficeIntegrationLib.tlb -P registration/CheckTypeLibraryFile.cmake

# Where a 32-bit Wine happens to exist, the suite runs on the 32-bit build too.
if command -v wine >/dev/null && [ -e /usr/lib/wine/wine ] && [ -n "${ORVEX_TEST_32BIT:-}" ]; then
  cmake --build --preset i686
  ctest --test-dir build/i686 --output-on-failure
fi

# The size of the suite against the code it tests, where the shared tools are at hand.
if [ -f ../shared/tools/code-ratio.sh ]; then
  bash ../shared/tools/code-ratio.sh .
fi
