#!/usr/bin/env bash
# Makes the release from this checkout, into dist/:
#   klarna-VERSION-win32.zip              klarna.dll, klarna-sim.exe, examples, guide, licences, sums
#   klarna-VERSION-win32-symbols.zip      their debug information and symbolise.sh
#   klarna-VERSION-linux-i686.tar.gz      the same for Linux i686 (klarna.so, klarna-sim)
#   klarna-VERSION-linux-i686-symbols.tar.gz
#   SHA256SUMS                            the sums of the four archives
# VERSION is the project version in CMakeLists.txt. Each preset builds only the
# module and the simulator in its own tree (build/linux32, build/win32), then
# CPack packs them and the CTest test "package" checks each package as shipped
# (unpacked into an empty folder and run there, the Win32 one under Wine).
# --no-check packs without that check.
set -euo pipefail
cd "$(dirname "$0")/.."
check=1
if [ "${1:-}" = "--no-check" ]; then
  check=0
fi
bash scripts/setup.sh
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "release: warning: the checkout has uncommitted changes; they go into the packages" >&2
fi

jobs=$(nproc)
rm -rf dist
mkdir dist
for preset in linux32 win32; do
  echo "=== $preset: configure and build the module and the simulator"
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset" -j "$jobs" --target klarna_release_files
  rm -rf "build/$preset/packages"
  if [ "$check" = 1 ]; then
    echo "=== $preset: pack and check the package as shipped"
    ctest --preset "$preset" -R '^package$'
  else
    echo "=== $preset: pack"
    (cd "build/$preset" && cpack --config CPackConfig.cmake)
  fi
  cp "build/$preset/packages"/klarna-* dist/
done
(cd dist && sha256sum klarna-* > SHA256SUMS)
echo "=== dist/"
ls -l dist
