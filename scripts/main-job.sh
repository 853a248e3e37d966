#!/usr/bin/env bash
# The main job: builds the Linux i686 module and the host simulator, then runs
# the module through the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh > /dev/null
cmake --preset linux32 > /dev/null
cmake --build --preset linux32 -j "$(nproc)" --target klarna_module klarna-sim > /dev/null
exec build/linux32/sim/klarna-sim --module build/linux32/klarna.so "$@"
