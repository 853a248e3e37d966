#!/usr/bin/env bash
# Inspects the built module: it must export exactly Startup, Shutdown and
# OnReceive_v2, and a DLL may import Windows system DLLs only.
set -euo pipefail
module=$1
kind=$2
expected="OnReceive_v2 Shutdown Startup"

fail() { echo "check-exports: $*" >&2; exit 1; }

case "$kind" in
  elf)
    exports=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TWDBRVi]$/ {print $3}' | sort | tr '\n' ' ' | sed 's/ $//')
    [ "$exports" = "$expected" ] || fail "exports are '$exports', expected '$expected'"
    readelf -h "$module" | awk '/Class:/ {print $2}' | grep -qx ELF32 || fail "not a 32-bit ELF object"
    ;;
  pe)
    dump=$(i686-w64-mingw32-objdump -p "$module")
    grep -q "file format pei-i386" <<< "$dump" || fail "not a 32-bit PE image"
    exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[ \t]*\[/ {print $NF; next} on {on=0}' <<< "$dump" | sort | tr '\n' ' ' | sed 's/ $//')
    [ "$exports" = "$expected" ] || fail "exports are '$exports', expected '$expected'"
    imports=$(awk '/DLL Name:/ {print tolower($3)}' <<< "$dump" | sort -u)
    allowed="kernel32.dll msvcrt.dll rpcrt4.dll user32.dll advapi32.dll ntdll.dll"
    for dll in $imports; do
      case " $allowed " in
        *" $dll "*) ;;
        *) fail "imports $dll, which is not a Windows system DLL" ;;
      esac
    done
    ;;
  *) fail "unknown kind $kind" ;;
esac
echo "check-exports: $module exports exactly: $expected"
