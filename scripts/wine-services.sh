#!/usr/bin/env bash
# Starts or stops the Wine services of a private prefix. Their output is detached: a
# service that inherits a pipe would keep whoever reads it (ctest) waiting.
set -u
action=${1:?start or stop}
export WINEPREFIX=${2:?wine prefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
  start)
    mkdir -p "$WINEPREFIX"
    if [ ! -e "$WINEPREFIX/system.reg" ]; then
      # A new prefix: create it, then restart the services once. In the session that
      # created the prefix, every class object registered for other processes costs Wine
      # over ten seconds; in later sessions it is immediate.
      wineserver -p </dev/null >/dev/null 2>&1
      wineboot -i </dev/null >/dev/null 2>&1
      wineserver -k </dev/null >/dev/null 2>&1
      wineserver -w </dev/null >/dev/null 2>&1
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
exit 0
