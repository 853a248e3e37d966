#!/usr/bin/env bash
# Builds the three presets and runs every test: native (sanitizers, unit
# tests), linux32 (module, simulator, scenarios, fault matrix) and win32 (DLL,
# simulator and scenarios under Wine); then the fuzzers briefly and the soak
# (Valgrind and 10,000 transactions).
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
echo "=== fuzzers: ${KLARNA_FUZZ_SECONDS:-20} s each"
bash scripts/fuzz.sh "${KLARNA_FUZZ_SECONDS:-20}"
echo "=== soak: valgrind memcheck and 10,000 transactions"
bash scripts/soak.sh
echo "all tests passed in native, linux32 and win32; the fuzzers and the soak found nothing"
