#!/usr/bin/env bash
# Runs every test of the project:
#   1. the unit, scene and end-to-end tests (ctest) on the normal build, then a short
#      report of what showing the picture costs in a real window (figures, no verdict);
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. a short run of every fuzz program (FUZZ_SECONDS each, default 30).
# QUICK=1 runs only the first step.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
ctest --test-dir "$build" --output-on-failure -j2
bash scripts/present-bench.sh "$build/zumble" 2
[ "${QUICK:-0}" = 1 ] && exit 0

echo "== the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DZUMBLE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j2 -E 'e2e_window'

echo "== fuzzing, ${FUZZ_SECONDS:-30} seconds a program"
bash scripts/run-fuzz.sh "${FUZZ_SECONDS:-30}"
