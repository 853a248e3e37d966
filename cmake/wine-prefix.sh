#!/bin/sh
# Prepares (start) or ends (stop) the Wine prefix of a build tree. The
# wineserver is kept running between the tests, so that only the first Wine
# process pays for the prefix creation and the start of Wine's services.
set -u
action=$1
WINEPREFIX=$2
export WINEPREFIX WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY
case "$action" in
  start)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot -i </dev/null >"$WINEPREFIX.log" 2>&1
    echo "wine prefix ready: $WINEPREFIX"
    ;;
  stop)
    wineserver -k || true
    ;;
esac
exit 0
