#!/usr/bin/env bash
# Builds the libFuzzer programs (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, x86-64, core only) into build/fuzz and runs
# each for a bounded time on a copy of its committed corpus. Fails when any
# fuzzer finds a crash, a leak, undefined behaviour, a hang or a broken
# property; the input that did it is kept in build/fuzz/artifacts/.
#
# usage: scripts/fuzz.sh [SECONDS_PER_FUZZER]   (default 20; e.g. 600 for a long run)
#        FUZZERS="xml tag_list" scripts/fuzz.sh  (a subset)
#        FUZZ_RUNS=10000000 scripts/fuzz.sh 1800  (each stops at 10 million
#        inputs or 30 minutes, whichever comes first)
set -euo pipefail

seconds=${1:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
fuzzers=${FUZZERS:-"xml tag_list gateway_json on_receive transaction"}
jobs=${FUZZ_BUILD_JOBS:-2}
runs=${FUZZ_RUNS:-}

if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "fuzz: SECONDS_PER_FUZZER must be a positive whole number" >&2
  exit 2
fi
if [ -n "$runs" ] && ! [[ "$runs" =~ ^[0-9]+$ ]]; then
  echo "fuzz: FUZZ_RUNS must be a whole number" >&2
  exit 2
fi

start=$(date +%s)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
  -DKLARNA_BUILD_FUZZ=ON -DKLARNA_BUILD_MODULE=OFF -DKLARNA_BUILD_SIM=OFF \
  -DKLARNA_BUILD_TESTS=OFF -DKLARNA_SANITIZE=ON >/dev/null
cmake --build "$build" --target fuzzers -j "$jobs"
echo "fuzz: built in $(( $(date +%s) - start )) s"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts="$build/artifacts"
mkdir -p "$artifacts"

passed=0
failed=0
for name in $fuzzers; do
  corpus="$work/$name"
  mkdir -p "$corpus" "$work/artifacts-$name"
  if [ -d "$root/fuzz/corpus/$name" ]; then
    cp "$root/fuzz/corpus/$name"/. "$corpus" -r
  fi
  log="$build/$name.log"
  # The transaction fuzzer reads a stream of choices: long streams from the start.
  limits="-max_len=4096"
  if [ "$name" = transaction ]; then
    limits="-max_len=512 -len_control=0"
  fi
  if [ -n "$runs" ]; then
    limits="$limits -runs=$runs"
  fi
  status=0
  # -timeout: one input running longer than this is a hang.
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    timeout $(( seconds + 300 )) "$build/fuzz/${name}_fuzzer" \
    -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 $limits \
    -print_final_stats=1 -artifact_prefix="$work/artifacts-$name/" \
    "$corpus" >"$log" 2>&1 || status=$?
  executed=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  took=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]*' | grep -o '[0-9]*' || true)
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "fuzz: $name ok (${executed:-?} inputs in ${took:-$seconds} s)"
  else
    failed=$((failed + 1))
    cp "$work/artifacts-$name"/* "$artifacts"/ 2>/dev/null || true
    echo "fuzz: $name FAILED (status $status); log $log, inputs in $artifacts:"
    grep -E 'property broken|ERROR: |SUMMARY: ' "$log" | head -5 || true
    ls "$work/artifacts-$name"
  fi
done

echo "fuzz: total $(( $(date +%s) - start )) s"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
