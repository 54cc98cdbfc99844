#!/usr/bin/env bash
# The README's main command: the library at work. Builds the DLL and the two stand-ins,
# installs the DLL into a private Wine prefix as an installer would (regsvr32), then runs
# the messenger stand-in (OrvexWindows.exe, which loads the DLL and starts the integration)
# and, as a separate process, the Office stand-in (OfficeStandIn.exe), which finds the
# provider the way Office does, shows everyone's presence, receives the messenger's pushed
# changes, starts a chat and a call, and sees the messenger shut down. Prints both sides.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

build=${ORVEX_DEMO_BUILD:-build/x64}
mkdir -p "$build"
echo "== building the DLL and the two programs ($build, log in $build/demo-build.log) =="
if ! { cmake --preset x64 -B "$build" &&
       cmake --build "$build" -j2 --target orvex_office_integration orvex_host_standin orvex_office_standin; } \
     >"$build/demo-build.log" 2>&1; then
  tail -n 40 "$build/demo-build.log"
  exit 1
fi

wine=${ORVEX_WINE:-/usr/lib/wine/wine64}
bin="$root/$build/bin"
prefix="$root/$build/demo-prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
echo "== installing the DLL into the Wine prefix $prefix (regsvr32) =="
scripts/wine-services.sh start "$prefix"
trap 'scripts/wine-services.sh stop "$prefix"' EXIT
dll="Z:$(echo "$bin/orvex-windows-office-integration.dll" | tr / '\\')"
"$wine" regsvr32 /s "$dll" </dev/null

host_log="$root/$build/demo-host.log"
echo "== Office's side: OfficeStandIn.exe =="
(cd "$bin" && exec "$wine" OrvexWindows.exe --seconds 14 --script-delay-ms 6000 </dev/null >"$host_log" 2>&1) &
host=$!
# Wine's marshaller reads only machine-wide type library keys, where the product's own
# registration leaves a placeholder: the stand-in registers the library there first.
(cd "$bin" && "$wine" OfficeStandIn.exe --register-typelib "$dll" --wait-up 20 --listen 30 --until-shutdown \
   --chat alice@orvex.example,bob@orvex.example --subject "Demo" --call carol@orvex.example \
   --conversation-delay 1 </dev/null) || true
wait "$host" || true
echo
echo "== The messenger's side: OrvexWindows.exe =="
cat "$host_log"
