#!/usr/bin/env bash
# Checks a release package as an integrator receives it. Both archives are
# unpacked into an empty folder; then
#  - every file of the package is listed in SHA256SUMS.txt with its sum;
#  - the module exports exactly the three entry points and imports system
#    libraries only, and both shipped programs are stripped;
#  - the DLL's version resource reads back with the release version;
#  - the simulator of the package, run there (under Wine for Win32), passes
#    the example scenarios against the module of the package, its JUnit
#    report naming the release version (the Linux one also prints it for
#    --version);
#  - the symbols package turns the module offset of Startup, taken from the
#    shipped module's export table, into Startup and its source line (the
#    path as addr2line prints it: after the build folder, or, from a ccache
#    build, with a "../.." in between).
#
# usage: check-package.sh pe|elf PACKAGE_DIR PACKAGE_NAME VERSION WORK_DIR SOURCE_DIR
set -euo pipefail
kind=$1
packages=$(cd "$2" && pwd)
name=$3
version=$4
work=$5
source_dir=$6
here=$(cd "$(dirname "$0")" && pwd)

fail() { echo "check-package: $*" >&2; exit 1; }

case "$kind" in
  # LoadLibraryA finds a bare DLL name in the program's own folder first, as
  # an integrator would run it; dlopen needs a path to look outside the
  # library path.
  pe) extension=zip module=klarna.dll load=klarna.dll sim=klarna-sim.exe tools=i686-w64-mingw32-
      run=("$here/wine-run.sh") ;;
  elf) extension=tar.gz module=klarna.so load=./klarna.so sim=klarna-sim tools= run=() ;;
  *) fail "unknown kind $kind" ;;
esac

rm -rf "$work"
mkdir -p "$work"
for archive in "$packages/$name.$extension" "$packages/$name-symbols.$extension"; do
  [ -f "$archive" ] || fail "no package $archive"
  (cd "$work" && cmake -E tar xf "$archive")
done
root=$work/$name
symbols=$work/$name-symbols
[ -d "$root" ] && [ -d "$symbols" ] || fail "the packages do not unpack into $name/ and $name-symbols/"
cd "$root"
echo "check-package: $name.$extension holds:"
find . -type f -printf '%10s  %P\n' | sort -k2

# What an integrator needs is there.
for file in "$module" "$sim" INTEGRATION.md CHANGELOG.md SHA256SUMS.txt licences/nlohmann-json.txt; do
  [ -s "$file" ] || fail "$file is missing or empty"
done
examples=(examples/*.scenario)
[ -f "${examples[0]}" ] || fail "no example scenarios"

# The sums: every other file listed once, every sum right.
listed=$(awk '{print $2}' SHA256SUMS.txt | sort)
present=$(find . -type f ! -name SHA256SUMS.txt -printf '%P\n' | sort)
[ "$listed" = "$present" ] || fail "SHA256SUMS.txt does not list exactly the files of the package"
sha256sum --quiet -c SHA256SUMS.txt || fail "a sum in SHA256SUMS.txt does not match"

# Exports, imports and stripping.
"$here/check-exports.sh" "$module" "$kind"
for file in "$module" "$sim"; do
  if "${tools}objdump" -h "$file" | grep -q ' \.debug_'; then
    fail "$file still carries debug information"
  fi
done
if [ "$kind" = pe ]; then
  system_dlls=" kernel32.dll msvcrt.dll rpcrt4.dll user32.dll advapi32.dll ntdll.dll "
  for dll in $("${tools}objdump" -p "$sim" | awk '/DLL Name:/ {print tolower($3)}' | sort -u); do
    [[ "$system_dlls" == *" $dll "* ]] || [ -f "$dll" ] ||
      fail "$sim needs $dll, which is neither a Windows system DLL nor in the package"
  done

  # The version resource, as Explorer reads it.
  resource=$("${tools}windres" -i "$module" -O rc)
  echo "$resource"
  numbers=${version//./, }
  for line in "FILEVERSION $numbers" "PRODUCTVERSION $numbers" "VALUE \"FileVersion\", \"$version\"" \
              "VALUE \"ProductVersion\", \"$version\"" "VALUE \"OriginalFilename\", \"$module\""; do
    grep -qF "$line" <<< "$resource" || fail "the version resource lacks: $line"
  done
  for key in ProductName FileDescription LegalCopyright; do
    grep -q "VALUE \"$key\", \"[^\"]" <<< "$resource" || fail "the version resource has no $key"
  done
fi

# The simulator of the package against the module of the package. Its JUnit
# report names its version: under Wine that saves a process start for
# --version, which the Linux package checks as well.
report=$("${run[@]}" "./$sim" --quiet --junit ../examples.xml --module "$load" "${examples[@]}" | tr -d '\r') ||
  { echo "$report"; fail "the example scenarios failed"; }
echo "$report"
grep -qx "${#examples[@]} passed" <<< "$report" ||
  fail "not every example scenario passed"
grep -qF "<property name=\"klarna-sim\" value=\"$version\"/>" ../examples.xml ||
  fail "the JUnit report of $sim does not name version $version: $(grep -F 'name="klarna-sim"' ../examples.xml)"
if [ "$kind" = elf ]; then
  shown=$("./$sim" --version)
  [ "$shown" = "klarna-sim $version" ] || fail "$sim --version says '$shown', expected 'klarna-sim $version'"
fi

# The symbols package: Startup's offset from the shipped export table.
if [ "$kind" = pe ]; then
  offset=0x$("${tools}objdump" -p "$module" | awk '
    /^Export Address Table -- Ordinal Base/ {table = 1; next}
    table && /Export RVA/ {gsub(/[][]/, " "); rva[$1] = $(NF - 2); next}
    /^\[Ordinal\/Name Pointer\] Table/ {names = 1; next}
    names && /^[ \t]*\[/ {gsub(/[][]/, " "); if ($2 == "Startup") print rva[$1]; next}
    {table = 0; names = 0}')
else
  offset=0x$(nm -D --defined-only "$module" | awk '$3 == "Startup" {print $1}')
fi
[ "$offset" != 0x ] || fail "no Startup in the export table of $module"
symbolised=$("$symbols/symbolise.sh" "$offset")
echo "$symbolised"
line=$(grep -n 'Startup(void\* record)' "$source_dir/host/module_exports.cpp" | cut -d: -f1)
grep -qE ": Startup at (.*/)?host/module_exports\.cpp:$line\$" <<< "$symbolised" ||
  fail "the symbols package does not turn $offset into Startup at host/module_exports.cpp:$line"
echo "check-package: $name passed"
