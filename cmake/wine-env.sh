# The environment of every Wine process the tests start (sourced by
# wine-prefix.sh and wine-run.sh). WINEPREFIX: the one prefix of the build
# tree, from KLARNA_WINEPREFIX, which klarna_wine_test() gives every Wine
# test; failing that, the prefix of the build tree (the folder holding
# CMakeCache.txt) around the working folder, so that a test declared without
# it still shares the tree's prefix rather than making one of its own.
if [ -z "${WINEPREFIX:-}" ]; then
  if [ -n "${KLARNA_WINEPREFIX:-}" ]; then
    WINEPREFIX=$KLARNA_WINEPREFIX
  else
    tree=$PWD
    while [ "$tree" != / ] && [ ! -f "$tree/CMakeCache.txt" ]; do
      tree=$(dirname "$tree")
    done
    [ "$tree" != / ] || tree=$PWD
    WINEPREFIX=$tree/wineprefix
  fi
fi
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY
