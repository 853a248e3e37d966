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
# Where 32-bit programs run under qemu user emulation (a host without 32-bit
# support), qemu gives a guest 4 GiB of address space by default, and Wine's
# start-up reserves everything above 2 GiB in halves down to 64 KiB pieces;
# qemu 7 looks for room page by page, which made every Wine process start
# take about 50 s of CPU. The test programs are not large-address-aware
# (they use at most 2 GiB), so the guest gets 2 GiB and 16 MiB, enough for
# qemu's 8 MiB main stack above Wine's 2 GiB: a start then takes about 4 s.
# Ignored where Wine runs natively; a value set outside is kept.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x81000000}
export QEMU_STACK_SIZE=${QEMU_STACK_SIZE:-8M}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
unset DISPLAY
