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
    # Creating a prefix runs wineboot.exe --init and the wine.inf set-up in
    # processes of their own, which can outlive the command above when Wine
    # runs slowly (under qemu). Tests started before they end run alongside
    # them, and a program has been seen never to return; wait for them.
    waited=0
    while pgrep -f 'wineboot\.exe|setupapi,InstallHinfSection' >/dev/null 2>&1 &&
          [ "$waited" -lt 1800 ]; do
      sleep 5
      waited=$((waited + 5))
    done
    echo "wine prefix ready after a further ${waited} s: $WINEPREFIX"
    ;;
  stop)
    wineserver -k || true
    ;;
esac
exit 0
