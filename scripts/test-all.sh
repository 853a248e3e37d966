#!/usr/bin/env bash
# Builds the three presets from scratch-safe build trees and runs every test:
# native (sanitizers), linux32 (module, simulator, scenarios) and win32 (under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
for preset in native linux32 win32; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  ctest --preset "$preset"
done
echo "all tests passed in native, linux32 and win32"
