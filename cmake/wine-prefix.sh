#!/bin/sh
# Prepares (start) or ends (stop) the Wine prefix of a build tree. The
# wineserver is kept running between the tests, so that only the first Wine
# process pays for the prefix set-up and the start of Wine's services; every
# Wine test of the tree shares this prefix and this wineserver.
#
# Under qemu user emulation each Wine process start costs CPU (see
# wine-env.sh), so the set-up starts as few as it can: one small program, by its path
# (a bare name would go through start.exe, one more process), whose start
# runs wineboot --init, which starts services.exe.
set -u
action=$1
WINEPREFIX=$2
. "$(dirname "$0")/wine-env.sh"

# The processes of this prefix (other trees' prefixes on the machine are
# not waited for) whose command line matches $1.
prefix_processes() {
  for dir in /proc/[0-9]*; do
    if grep -qzxF "WINEPREFIX=$WINEPREFIX" "$dir/environ" 2>/dev/null &&
       grep -qzE "$1" "$dir/cmdline" 2>/dev/null; then
      echo "${dir#/proc/}"
    fi
  done
}

case "$action" in
  start)
    # A prefix made by hand: Wine's own set-up of a new prefix (wine.inf,
    # registering every DLL) takes many minutes under qemu and has been seen
    # to hang there. The console test programs need only the system DLLs,
    # Wine's builtin PE files, linked here rather than copied (550 MB); the
    # automatic prefix update is off.
    started=$(date +%s)
    system32="$WINEPREFIX/drive_c/windows/system32"
    mkdir -p "$system32"
    echo disable > "$WINEPREFIX/.update-timestamp"
    for builtins in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows; do
      if [ -d "$builtins" ]; then
        ln -sf "$builtins"/* "$system32"/
        break
      fi
    done
    if [ -f "$WINEPREFIX/.prepared" ] && [ -n "$(prefix_processes 'wineserver')" ]; then
      # Prepared before the tests (scripts/test-all.sh does it while building).
      echo "wine prefix already prepared, its wineserver running: $WINEPREFIX"
      exit 0
    fi
    wineserver -p </dev/null >/dev/null 2>&1
    wine "$system32/cmd.exe" /c exit 0 </dev/null >"$WINEPREFIX.log" 2>&1
    # The set-up can outlive the program above (it waits for it a limited
    # time); tests started alongside it have been seen never to return.
    waited=0
    while [ -n "$(prefix_processes 'wineboot\.exe|setupapi,InstallHinfSection')" ] &&
          [ "$waited" -lt 1800 ]; do
      sleep 5
      waited=$((waited + 5))
    done
    touch "$WINEPREFIX/.prepared"
    echo "wine prefix ready in $(( $(date +%s) - started )) s (${waited} s after its first program): $WINEPREFIX"
    ;;
  stop)
    rm -f "$WINEPREFIX/.prepared"
    wineserver -k || true
    ;;
esac
exit 0
