#!/bin/sh
# Runs a Win32 program under Wine with a private prefix inside the build tree.
: "${WINEPREFIX:=${KLARNA_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY
exec wine "$@"
