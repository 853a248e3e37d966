#!/bin/sh
# Runs a Win32 program under Wine in the build tree's prefix (wine-env.sh),
# with the wineserver that wine-prefix.sh keeps running.
#
# Under qemu user emulation (this machine's kernel cannot run 32-bit code), Wine
# has been seen not to return after a test program wrote its last line and
# left main. When KLARNA_WINE_REPORT names the GoogleTest XML report the
# program writes (--gtest_output=xml:...), a Wine process that is still there
# 120 s after the report is complete is stopped, and the report's own verdict
# becomes the exit status.
. "$(dirname "$0")/wine-env.sh"

report=${KLARNA_WINE_REPORT:-}
if [ -z "$report" ]; then
  exec wine "$@"
fi

grace=120
rm -f "$report"
wine "$@" &
pid=$!

report_complete() {
  [ -s "$report" ] && grep -q '</testsuites>' "$report"
}

while kill -0 "$pid" 2>/dev/null; do
  if report_complete; then
    waited=0
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt "$grace" ]; do
      sleep 1
      waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
      echo "wine-run: report complete but Wine did not return within ${grace} s; stopping it" >&2
      kill -9 "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
      if grep -q '<testsuites [^>]*failures="0"[^>]*errors="0"' "$report"; then
        exit 0
      fi
      exit 1
    fi
    break
  fi
  sleep 2
done
wait "$pid"
