#!/usr/bin/env bash
# The soak on a Release native tree (build/soak), the module run inside the
# simulator's process: a short run under Valgrind memcheck (any error or leak
# fails), then the long run, which prints the peak resident memory and fails
# when it grows. SOAK_TRANSACTIONS and SOAK_VALGRIND_TRANSACTIONS change the
# counts (10000 and 200).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/soak
long=${SOAK_TRANSACTIONS:-10000}
short=${SOAK_VALGRIND_TRANSACTIONS:-200}

if ! command -v valgrind > /dev/null; then
  echo "soak: valgrind is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi

echo "=== soak: configure and build ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKLARNA_BUILD_SOAK=ON -DKLARNA_BUILD_SIM=OFF -DKLARNA_BUILD_MODULE=OFF \
  -DKLARNA_BUILD_TESTS=OFF -DKLARNA_SANITIZE=OFF > /dev/null
cmake --build "$build" --target klarna-soak -j "$(nproc)"
soak=$build/sim/soak/klarna-soak

echo "=== soak: valgrind memcheck, $short transactions"
started=$SECONDS
# Valgrind's own memory is in the figures, so they are not judged here.
valgrind --quiet --leak-check=full --error-exitcode=1 \
  "$soak" --transactions "$short" --report-every "$short" --no-memory-check
echo "valgrind run: $((SECONDS - started)) s"

echo "=== soak: $long transactions"
started=$SECONDS
"$soak" --transactions "$long" --report-every 1000
echo "long run: $((SECONDS - started)) s"
