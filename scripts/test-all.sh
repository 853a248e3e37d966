#!/usr/bin/env bash
# Builds the three presets and runs every test: native (sanitizers, unit
# tests), linux32 (module, simulator, scenarios, fault matrix) and win32 (DLL,
# simulator and scenarios under Wine); then the fuzzers briefly and the soak
# (Valgrind and 10,000 transactions).
#
# Two lanes of about equal CPU run side by side so that both cores stay busy:
# the Win32 lane (the Wine prefix, prepared while the win32 tree builds, the
# win32 tests, then the fuzzers and the soak) and the main lane (native, then
# linux32). The Win32 lane's output goes to build/win32-lane.log and is
# printed when it ends.
# CTest runs a test per core at a time. With ccache installed the builds use it
# (a machine without it, or with an empty cache, builds the same, slower).
#
# At the end (also after a failure) it prints each stage's wall time, the CPU
# time (user + system) of what the stage ran and the CPU time everything else
# on the machine took meanwhile (the other lane, other users, and daemons the
# stage left running, such as a wineserver).
set -euo pipefail
cd "$(dirname "$0")/.."

run_started=$SECONDS
jobs=$(nproc)
work=$(mktemp -d)
stage_file=$work/stages
: > "$stage_file"
hertz=$(getconf CLK_TCK)

# The CPU seconds the whole machine has been busy since boot.
machine_cpu() {
  awk -v hz="$hertz" '$1 == "cpu" { print ($2 + $3 + $4 + $7 + $8 + $9) / hz }' /proc/stat
}

# stage NAME COMMAND...: runs the command in a subshell of its own, whose
# "times" at its exit is the CPU of everything the stage ran (and nothing of
# the other lane), and appends the stage's line to the stage file, which both
# lanes write. The subshell runs as a job and is waited for, so that "set -e"
# holds inside it. Returns the command's status.
stage() {
  local name=$1 started=$SECONDS machine_before cpu=0 others status=0
  shift
  local times_file
  times_file=$(mktemp -p "$work")
  machine_before=$(machine_cpu)
  echo "=== $name"
  (
    trap 'times > "$times_file"' EXIT
    "$@"
  ) &
  wait $! || status=$?
  cpu=$(awk '{ for (i = 1; i <= NF; i++) { split($i, p, "m"); sub(/s/, "", p[2]); s += p[1] * 60 + p[2] } }
    END { printf "%.0f", s }' "$times_file")
  others=$(awk -v a="$(machine_cpu)" -v b="$machine_before" -v c="$cpu" 'BEGIN { printf "%.0f", a - b - c }')
  printf '%-14s %6d s wall %6d s cpu %6d s cpu of all else   (from %d s)%s\n' "$name" \
    $((SECONDS - started)) "$cpu" "$others" $((started - run_started)) \
    "$([ "$status" -eq 0 ] || echo "   FAILED ($status)")" >> "$stage_file"
  return "$status"
}

# At the end, also after a failure: the Win32 lane's output (waited for, so
# that a failure in one lane still shows the other's results), then the
# stage times.
lane_pid=""
print_stages() {
  local status=$? lane_status=0
  if [ -n "$lane_pid" ]; then
    echo "=== the Win32 lane (build/win32-lane.log)"
    wait "$lane_pid" || lane_status=$?
    cat build/win32-lane.log
    if [ "$lane_status" -ne 0 ]; then
      echo "the Win32 lane failed (status $lane_status)"
      [ "$status" -ne 0 ] || status=$lane_status
    fi
  fi
  echo "=== stage times ($jobs cores; the two lanes overlap)"
  cat "$stage_file"
  printf '%-14s %6d s wall\n' total $((SECONDS - run_started))
  if [ "$status" -eq 0 ]; then
    echo "all tests passed in native, linux32 and win32; the fuzzers and the soak found nothing"
  else
    echo "(stopped by a failure, status $status)"
  fi
  rm -rf "$work"
  exit "$status"
}
trap print_stages EXIT

stage setup bash scripts/setup.sh

launcher=()
if command -v ccache > /dev/null; then
  # The same objects from any checkout folder.
  export CCACHE_BASEDIR=$PWD
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

build_preset() {
  cmake --preset "$1" "${launcher[@]}" > /dev/null
  cmake --build --preset "$1" -j "$jobs"
}

test_preset() {
  ctest --preset "$1" -j "$jobs"
}

# The Win32 lane. The Wine prefix needs no build: it is prepared meanwhile, as
# a stage of its own (the test wine_prefix_start then finds it ready).
win32_lane() {
  mkdir -p build/win32
  stage "wine prefix" sh cmake/wine-prefix.sh start "$PWD/build/win32/wineprefix" \
    > build/win32/wineprefix-start.log 2>&1 &
  local prefix_pid=$! prefix_status=0
  stage "win32 build" build_preset win32
  wait "$prefix_pid" || prefix_status=$?
  cat build/win32/wineprefix-start.log
  [ "$prefix_status" -eq 0 ] || return "$prefix_status"
  stage "win32 test" test_preset win32
  stage fuzzers bash scripts/fuzz.sh "${KLARNA_FUZZ_SECONDS:-20}"
  stage soak bash scripts/soak.sh
}

mkdir -p build
win32_lane > build/win32-lane.log 2>&1 &
lane_pid=$!

stage "native build" build_preset native
stage "native test" test_preset native
stage "linux32 build" build_preset linux32
stage "linux32 test" test_preset linux32
