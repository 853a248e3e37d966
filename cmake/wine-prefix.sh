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
    # A prefix made by hand: Wine's own set-up of a new prefix (wine.inf,
    # registering every DLL) takes many minutes under qemu and has been seen
    # to hang there. The console test programs need only the system DLLs,
    # which are Wine's builtin PE files; the automatic prefix update is off.
    system32="$WINEPREFIX/drive_c/windows/system32"
    mkdir -p "$system32"
    echo disable > "$WINEPREFIX/.update-timestamp"
    for builtins in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows; do
      if [ -d "$builtins" ]; then
        cp -u "$builtins"/* "$system32"/
        break
      fi
    done
    wineserver -p </dev/null >/dev/null 2>&1
    wine wineboot -i </dev/null >"$WINEPREFIX.log" 2>&1
    # Should a set-up run all the same, its processes can outlive the command
    # above; tests started alongside them have been seen never to return.
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
