#!/bin/sh
# Runs inside the test machine (started by test-i686.sh): the i686 build's ctest under
# 32-bit Wine, then a 64-bit Office (the x64 end-to-end tests) against the 32-bit product,
# as on 64-bit Windows, and a record of what each registry view holds after a 32-bit
# regsvr32. Every Wine program writes to files: Wine's helper processes would keep a pipe
# open.
#   suites.sh I686_BUILD OFFICE64_DIR|- [CTEST_ARGUMENTS...]
build=$1
office64=$2
shift 2
out=$ORVEX_GUEST_OUT
status=0
stage() { echo "$(date -u +%T) $*" >> "$out/stages.log"; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bin=$build/bin
dll="Z:$(echo "$bin/orvex-windows-office-integration.dll" | tr / '\\')"

# A copy of the prefix made with the image saves Wine's minute-long set-up of a new one.
fresh_prefix() {
  export WINEPREFIX=$1
  cp -a /opt/orvex/wineprefix "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1
}

stage "i686 ctest"
cp -a /opt/orvex/wineprefix "$build/wineprefix"
# The objdump check of the exports runs on the host.
ctest --test-dir "$build" --output-on-failure --timeout 900 -E '^host_dll_exports$|_bench$' "$@" \
  > "$out/ctest.log" 2>&1 || status=1
cp "$build/Testing/Temporary/LastTest.log" "$out/" 2>/dev/null
stage "i686 ctest ended, status $status"

if [ "$office64" != - ]; then
  stage "64-bit Office against the 32-bit provider"
  fresh_prefix /root/office64
  # Start-up order, pulled and pushed presence, a chat and a call, stop and restart.
  filter='UnstartedHostTest.*:EndToEndTest.OfficePulls*:EndToEndTest.PushedPresence*'
  filter="$filter:EndToEndTest.Conversations*:EndToEndTest.Stopping*"
  ORVEX_PRODUCT_DIR="Z:$(echo "$bin" | tr / '\\')" /usr/lib/wine/wine64 "$office64/end_to_end_tests.exe" \
    --gtest_filter="$filter" </dev/null > "$out/office64.log" 2>&1 || status=1
  grep -q '\[  FAILED  \]\|Unhandled exception\|Unhandled page fault' "$out/office64.log" && status=1
  grep -q '\[  PASSED  \]' "$out/office64.log" || status=1
  wineserver -k
  stage "64-bit Office ended, status $status"
fi

stage "registry views after a 32-bit regsvr32"
fresh_prefix /root/views
views=$out/registry-views.txt
: > "$views"
query() {
  for view in 32 64; do
    echo "## $1 (/reg:$view)" >> "$views"
    wine reg query "$1" /s /reg:$view </dev/null >> "$views" 2>&1 || echo "(missing)" >> "$views"
  done
}
(cd "$bin" && wine regsvr32 /s "$dll" && wine regsvr32 /s /n /i:user "$dll") </dev/null >/dev/null 2>&1
query 'HKLM\Software\IM Providers'
query 'HKCU\Software\IM Providers'
query 'HKLM\Software\Classes\TypeLib\{9D5662DE-96CC-471F-94F0-E00E05457627}'
query 'HKCU\Software\Classes\TypeLib\{9D5662DE-96CC-471F-94F0-E00E05457627}'
query 'HKLM\Software\Classes\Interface\{6A222195-F65E-467F-8F77-EB180BD85288}'
query 'HKCU\Software\Classes\Interface\{6A222195-F65E-467F-8F77-EB180BD85288}'
(cd "$bin" && wine OrvexWindows.exe --seconds 40 --no-script </dev/null > "$out/views-host.log" 2>&1) &
sleep 25
echo "# while the 32-bit messenger runs" >> "$views"
query 'HKCU\Software\IM Providers'
wait
(cd "$bin" && wine regsvr32 /s /u "$dll") </dev/null >/dev/null 2>&1
echo "# after a 32-bit regsvr32 /u" >> "$views"
query 'HKLM\Software\IM Providers'
wineserver -k
stage "done"
exit $status
