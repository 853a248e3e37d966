#!/bin/sh
# Turns crash addresses inside the shipped module into function, source file
# and line, using the debug file of this symbols package.
#
#   ./symbolise.sh OFFSET...             klarna.dll (or klarna.so), e.g. 0x14b0
#   ./symbolise.sh -f FILE.debug OFFSET  another debug file (klarna-sim.exe.debug)
#
# OFFSET is the address relative to the module's load address: the "Fault
# offset" of a Windows crash report (Event Viewer, Application Error 1000),
# or the "+0x..." of a Linux backtrace line "klarna.so(+0x1a2b3)". An
# absolute address minus the module's base address in a crash dump is the
# same thing. The script adds the module's preferred base (the PE ImageBase,
# or the ELF file's first load address) and asks addr2line; inlined calls are
# printed as "(inlined by)" lines.
#
# Needs binutils (c++filt, readelf, addr2line) and, for the Win32 files,
# i686-w64-mingw32-objdump and i686-w64-mingw32-addr2line (Debian:
# binutils-mingw-w64-i686).
set -eu
here=$(dirname "$0")
debug=
if [ "${1:-}" = "-f" ]; then
  debug=$2
  shift 2
elif [ -f "$here/klarna.dll.debug" ]; then
  debug=$here/klarna.dll.debug
else
  debug=$here/klarna.so.debug
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [-f FILE.debug] OFFSET..." >&2
  exit 2
fi
[ -f "$debug" ] || { echo "symbolise: no debug file $debug" >&2; exit 2; }

case "$debug" in
  *.dll.debug | *.exe.debug)
    tools=i686-w64-mingw32-
    base=0x$("${tools}objdump" -p "$debug" | awk '$1 == "ImageBase" {print $2; exit}')
    ;;
  *)
    tools=
    base=$(readelf -lW "$debug" | awk '$1 == "LOAD" {print $3; exit}')
    ;;
esac
[ "$base" != 0x ] && [ -n "$base" ] || { echo "symbolise: cannot read the base address of $debug" >&2; exit 2; }

for offset in "$@"; do
  address=$(printf '0x%x' $((base + offset)))
  printf '%s (address %s): ' "$offset" "$address"
  # Demangled by the host's c++filt: the mingw addr2line's own -C drops the
  # leading underscore of the DLL's C++ names and leaves them mangled.
  "${tools}addr2line" -e "$debug" -f -i -p "$address" | c++filt
done
