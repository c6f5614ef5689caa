#!/usr/bin/env bash
# Runs every test of the project:
#   1. the unit, scene and end-to-end tests (ctest) on the normal build;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. a short run of every fuzz program (FUZZ_SECONDS each, default 30);
#   4. the page of the browser build (make web) in headless Chromium (tests/web/).
# QUICK=1 runs only the first step.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
ctest --test-dir "$build" --output-on-failure -j2
[ "${QUICK:-0}" = 1 ] && exit 0

echo "== the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DZUMBLE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j2 -E 'e2e_window'

echo "== fuzzing, ${FUZZ_SECONDS:-30} seconds a program"
bash scripts/run-fuzz.sh "${FUZZ_SECONDS:-30}"

echo "== the page in headless Chromium"
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-web -j2
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
node tests/web/web_test.mjs build-web/site "$build/zumble"
