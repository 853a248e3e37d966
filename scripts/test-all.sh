#!/usr/bin/env bash
# Builds the three presets and runs every test: native (sanitizers, unit
# tests), linux32 (module, simulator, scenarios, fault matrix) and win32 (DLL,
# simulator and scenarios under Wine); then the fuzzers briefly and the soak
# (Valgrind and 10,000 transactions).
#
# Two lanes run side by side so that both cores stay busy: the Win32 lane
# (the Wine prefix, prepared while the win32 tree builds, then the win32
# tests, where each Wine process start costs about a minute of emulated CPU)
# and the main lane (native, linux32, the fuzzers, the soak). The Win32
# lane's output goes to build/win32-lane.log and is printed when it ends.
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
stage_file=$(mktemp)
times_file=$(mktemp)
hertz=$(getconf CLK_TCK)
stage_name=""

# cpu_now: the CPU seconds (user + system) of every finished child process of
# this shell so far. "times" runs in this shell, not in a command
# substitution, whose subshell would count only its own children.
children_cpu() {
  local file=$times_file.$BASHPID # one per lane
  times > "$file"
  cpu_now=$(awk 'NR == 2 { gsub(/s/, ""); s = 0
    for (i = 1; i <= NF; i++) { split($i, p, "m"); s += p[1] * 60 + p[2] } print s }' "$file")
  rm -f "$file"
}

# machine_now: the CPU seconds the whole machine has been busy since boot.
machine_cpu() {
  machine_now=$(awk -v hz="$hertz" '$1 == "cpu" { print ($2 + $3 + $4 + $7 + $8 + $9) / hz }' /proc/stat)
}

stage_start() {
  stage_name=$1
  stage_wall=$SECONDS
  children_cpu
  stage_cpu=$cpu_now
  machine_cpu
  stage_machine=$machine_now
  echo "=== $stage_name"
}

# Appends the stage's line to the stage file, which both lanes write.
stage_end() {
  local cpu others
  children_cpu
  machine_cpu
  cpu=$(awk -v a="$cpu_now" -v b="$stage_cpu" 'BEGIN { printf "%.0f", a - b }')
  others=$(awk -v a="$machine_now" -v b="$stage_machine" -v c="$cpu" 'BEGIN { printf "%.0f", a - b - c }')
  printf '%-14s %6d s wall %6d s cpu %6d s cpu of all else   (from %d s)\n' "$stage_name" \
    $((SECONDS - stage_wall)) "$cpu" "$others" $((stage_wall - run_started)) >> "$stage_file"
  stage_name=""
}

# At the end, also after a failure: the Win32 lane's output (waited for, so
# that a failure in one lane still shows the other's results), then the
# stage times.
lane_pid=""
print_stages() {
  local status=$? lane_status=0
  [ -n "$stage_name" ] && stage_end
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
  rm -f "$stage_file" "$times_file"
  exit "$status"
}
trap print_stages EXIT

stage_start setup
bash scripts/setup.sh
stage_end

launcher=()
if command -v ccache > /dev/null; then
  # The same objects from any checkout folder.
  export CCACHE_BASEDIR=$PWD
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

build_preset() {
  stage_start "$1 build"
  cmake --preset "$1" "${launcher[@]}" > /dev/null
  cmake --build --preset "$1" -j "$jobs"
  stage_end
}

test_preset() {
  stage_start "$1 test"
  ctest --preset "$1" -j "$jobs"
  stage_end
}

# The Win32 lane. The prefix needs no build: it is prepared meanwhile (the
# test wine_prefix_start then finds it ready).
win32_lane() {
  trap '[ -z "$stage_name" ] || stage_end' EXIT
  mkdir -p build/win32
  sh cmake/wine-prefix.sh start "$PWD/build/win32/wineprefix" > build/win32/wineprefix-start.log 2>&1 &
  local prefix_pid=$!
  build_preset win32
  stage_start "wine prefix"
  wait "$prefix_pid"
  cat build/win32/wineprefix-start.log
  stage_end
  test_preset win32
}

mkdir -p build
win32_lane > build/win32-lane.log 2>&1 &
lane_pid=$!

build_preset native
test_preset native
build_preset linux32
test_preset linux32
stage_start fuzzers
bash scripts/fuzz.sh "${KLARNA_FUZZ_SECONDS:-20}"
stage_end
stage_start soak
bash scripts/soak.sh
stage_end

