#!/usr/bin/env bash
# Builds the three presets and runs every test: native (sanitizers, unit
# tests), linux32 (module, simulator, scenarios, fault matrix) and win32 (DLL,
# simulator and scenarios under Wine); then the fuzzers briefly and the soak
# (Valgrind and 10,000 transactions). At the end (also after a failure) it
# prints each stage's wall time, the CPU time (user + system) of what the
# stage ran and the CPU time other processes on the machine took meanwhile
# (a daemon the stage left running, such as a wineserver, counts there).
set -euo pipefail
cd "$(dirname "$0")/.."

stage_lines=()
stage_name=""
run_started=$SECONDS

# cpu_now: the CPU seconds (user + system) of every finished child process
# so far. "times" runs in this shell, not in a command substitution, whose
# subshell would count only its own children.
times_file=$(mktemp)
children_cpu() {
  times > "$times_file"
  cpu_now=$(awk 'NR == 2 { gsub(/s/, ""); s = 0
    for (i = 1; i <= NF; i++) { split($i, p, "m"); s += p[1] * 60 + p[2] } print s }' "$times_file")
}

# machine_now: the CPU seconds the whole machine has been busy since boot;
# what it grew by in a stage, less the stage's own, is other users' load.
hertz=$(getconf CLK_TCK)
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

stage_end() {
  local cpu others
  children_cpu
  machine_cpu
  cpu=$(awk -v a="$cpu_now" -v b="$stage_cpu" 'BEGIN { printf "%.0f", a - b }')
  others=$(awk -v a="$machine_now" -v b="$stage_machine" -v c="$cpu" 'BEGIN { printf "%.0f", a - b - c }')
  stage_lines+=("$(printf '%-14s %6d s wall %6d s cpu %6d s cpu of others' "$stage_name" \
    $((SECONDS - stage_wall)) "$cpu" "$others")")
  stage_name=""
}

print_stages() {
  local status=$?
  [ -n "$stage_name" ] && stage_end
  echo "=== stage times ($(nproc) cores)"
  printf '%s\n' "${stage_lines[@]}"
  printf '%-14s %6d s wall\n' total $((SECONDS - run_started))
  [ "$status" -eq 0 ] || echo "(stopped by a failure, status $status)"
  rm -f "$times_file"
}
trap print_stages EXIT

stage_start setup
bash scripts/setup.sh
stage_end

jobs=$(nproc)
for preset in native linux32 win32; do
  stage_start "$preset build"
  cmake --preset "$preset" > /dev/null
  cmake --build --preset "$preset" -j "$jobs"
  stage_end
  stage_start "$preset test"
  ctest --preset "$preset"
  stage_end
done
stage_start "fuzzers"
bash scripts/fuzz.sh "${KLARNA_FUZZ_SECONDS:-20}"
stage_end
stage_start "soak"
bash scripts/soak.sh
stage_end
echo "all tests passed in native, linux32 and win32; the fuzzers and the soak found nothing"
