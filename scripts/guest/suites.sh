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
# Processes start and answer several times slower than on the host: the end-to-end tests
# wait longer for each step of the other process.
export ORVEX_TEST_PATIENCE_SECONDS=240
bin=$build/bin
dll="Z:$(echo "$bin/orvex-windows-office-integration.dll" | tr / '\\')"

# The prefix made with the image, seen through an overlay whose changes live in memory:
# each stage starts from the same prefix without Wine's minute-long set-up of a new one,
# and without copying it (reading the disk is slow under emulation).
modprobe overlay
prefix_view() {
  local layer=/tmp/layers/$(basename "$1")
  mkdir -p "$1" "$layer/upper" "$layer/work"
  mount -t overlay overlay -o "lowerdir=/opt/orvex/wineprefix,upperdir=$layer/upper,workdir=$layer/work" "$1"
}
fresh_prefix() {
  export WINEPREFIX=$1
  prefix_view "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot </dev/null >/dev/null 2>&1
}

run_ctest() {
  stage "i686 ctest"
  prefix_view "$build/wineprefix"
  # The checks of the exports and of the type library file, and the package's consumer
  # build, run on the host. A test that hangs is cut off after 20 minutes, several times
  # what the slowest needs here, so that the other suites still report.
  ctest --test-dir "$build" --output-on-failure --timeout 1200 \
    -E '^host_dll_exports$|^type_library_win32_file$|^package_consumer_test$|_bench$' "$@" \
    > "$out/ctest.log" 2>&1 || status=1
  cp "$build/Testing/Temporary/LastTest.log" "$out/" 2>/dev/null
  stage "i686 ctest ended, status $status"
}

run_office64() {
  if [ "$office64" != - ]; then
    stage "64-bit Office against the 32-bit provider"
    fresh_prefix /root/office64
    # Pushed presence read back, a chat and a call, stop and restart.
    filter='EndToEndTest.PushedPresence*:EndToEndTest.Conversations*:EndToEndTest.Stopping*'
    ORVEX_PRODUCT_DIR="Z:$(echo "$bin" | tr / '\\')" /usr/lib/wine/wine64 "$office64/end_to_end_tests.exe" \
      --gtest_filter="$filter" </dev/null > "$out/office64.log" 2>&1 || status=1
    grep -q '\[  FAILED  \]\|Unhandled exception\|Unhandled page fault' "$out/office64.log" && status=1
    grep -q '\[  PASSED  \]' "$out/office64.log" || status=1
    wineserver -k
    stage "64-bit Office ended, status $status"
  fi
}

# As an installer does on 64-bit Windows: the 32-bit regsvr32, machine-wide and per user,
# then the 32-bit messenger, and an Office of each bitness that first diagnoses what it
# sees and then connects, shows presence and starts a chat and a call. Under Wine an
# Office's marshaller reads only machine-wide type library keys, where the product leaves
# its placeholder: each Office stand-in registers the library there for its own bitness
# first (--register-typelib), as the x64 suites do; everything else it finds is the
# product's own registration.
run_both_bitnesses() {
  stage "both Office bitnesses against the 32-bit provider"
  fresh_prefix /root/bitness
  views=$out/registry-views.txt
  : > "$views"
  query() {
    for view in 32 64; do
      echo "## $1 (/reg:$view)" >> "$views"
      wine reg query "$1" /s /reg:$view </dev/null >> "$views" 2>&1 || echo "(missing)" >> "$views"
    done
  }
  query_all() {
    echo "# $1" >> "$views"
    query 'HKLM\Software\IM Providers'
    query 'HKCU\Software\IM Providers'
    query 'HKLM\Software\Classes\TypeLib\{9D5662DE-96CC-471F-94F0-E00E05457627}'
    query 'HKCU\Software\Classes\TypeLib\{9D5662DE-96CC-471F-94F0-E00E05457627}'
    query 'HKLM\Software\Classes\Interface\{6A222195-F65E-467F-8F77-EB180BD85288}'
    query 'HKCU\Software\Classes\Interface\{6A222195-F65E-467F-8F77-EB180BD85288}'
  }
  (cd "$bin" && wine regsvr32 /s "$dll" && wine regsvr32 /s /n /i:user "$dll") </dev/null >/dev/null 2>&1 \
    || { echo "the 32-bit regsvr32 failed" >> "$out/stages.log"; status=1; }
  query_all "after a 32-bit regsvr32, machine-wide and per user"
  # The messenger reads its commands from a FIFO held open here, so that it stops as it
  # would when the user quits, once both Offices are done.
  mkfifo /tmp/host-input
  (cd "$bin" && exec wine OrvexWindows.exe --seconds 900 --script-delay-ms 2000 </tmp/host-input \
     > "$out/bitness-host.log" 2>&1) &
  host=$!
  exec 3>/tmp/host-input
  # The doctors below describe a running provider, so they wait until it says it is up.
  for second in $(seq 0 5 240); do
    wine reg query 'HKCU\Software\IM Providers\Talvo Orvex' /v UpAndRunning /reg:64 </dev/null 2>/dev/null \
      | grep -q 0x2 && break
    sleep 5
  done
  echo "$(date -u +%T) the 32-bit messenger was up after about $second s" >> "$out/stages.log"
  office_run() {
    local bits=$1 loader=$2 office=$3
    local typelib="Z:$(echo "$bin/orvex-windows-office-integration.dll" | tr / '\\')"
    (cd "$(dirname "$office")" && "$loader" "$office" --diagnose) </dev/null > "$out/office$bits-diagnose.txt" 2>&1
    echo "$(date -u +%T) Office $bits-bit: --diagnose exit $?" >> "$out/stages.log"
    (cd "$(dirname "$office")" && "$loader" "$office" --register-typelib "$typelib" --wait-up 180 --listen 5 \
       --chat alice@orvex.example,bob@orvex.example --subject "Both bitnesses" --call carol@orvex.example) \
       </dev/null > "$out/office$bits-connect.txt" 2>&1
    local code=$?
    echo "$(date -u +%T) Office $bits-bit: connection exit $code" >> "$out/stages.log"
    [ "$code" = 0 ] || status=1
  }
  office_run 32 wine "$bin/OfficeStandIn.exe"
  if [ "$office64" != - ]; then
    office_run 64 /usr/lib/wine/wine64 "$office64/OfficeStandIn.exe"
  fi
  echo "# while the 32-bit messenger runs" >> "$views"
  query 'HKCU\Software\IM Providers'
  echo quit >&3
  exec 3>&-
  wait "$host" || { echo "the 32-bit messenger ended with $?" >> "$out/stages.log"; status=1; }
  (cd "$bin" && wine regsvr32 /s /u "$dll" && wine regsvr32 /s /u /n /i:user "$dll") </dev/null >/dev/null 2>&1
  echo "# after a 32-bit regsvr32 /u, machine-wide and per user" >> "$views"
  query 'HKLM\Software\IM Providers'
  query 'HKLM\Software\Classes\Interface\{6A222195-F65E-467F-8F77-EB180BD85288}'
  wineserver -k
}

# What only this machine can show comes first, the longest last.
if [ -z "${ORVEX_GUEST_CTEST_ONLY:-}" ]; then
  run_both_bitnesses
  run_office64
fi
run_ctest "$@"
stage "done"
exit $status
