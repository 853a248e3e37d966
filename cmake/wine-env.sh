# The environment of every Wine process the tests start (sourced by
# wine-prefix.sh and wine-run.sh). WINEPREFIX: the one prefix of the build
# tree, from KLARNA_WINEPREFIX, which CMake gives every Wine test.
: "${WINEPREFIX:=${KLARNA_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY
