#!/usr/bin/env bash
# The README's main command: builds the product and runs the messenger stand-in, which
# loads the DLL, hands it a helper that prints the library's log records, and shows the
# per-user type library keys the library wrote.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

cmake --preset x64 >/dev/null
cmake --build --preset x64 --target orvex_office_integration orvex_host_standin
cmake --preset i686 >/dev/null
cmake --build --preset i686 --target orvex_office_integration orvex_host_standin

prefix="$root/build/x64/demo-prefix"
scripts/wine-services.sh start "$prefix"
trap 'scripts/wine-services.sh stop "$prefix"' EXIT
echo "== the messenger stand-in (64-bit build, under Wine) =="
WINEPREFIX="$prefix" WINEDEBUG=-all "${ORVEX_WINE:-/usr/lib/wine/wine64}" build/x64/bin/OrvexWindows.exe
echo "== the shipped 32-bit DLL: build/i686/bin/orvex-windows-office-integration.dll =="
