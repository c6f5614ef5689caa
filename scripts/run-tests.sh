#!/usr/bin/env bash
# Runs every test of the project:
#   1. the unit, scene and end-to-end tests (ctest) on the normal build, then a short
#      report of what showing the picture costs in a real window (figures, no verdict);
#   2. the Windows programs (make windows) under Wine;
#   3. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. the mixer's tests and the real window run (audio thread and all) built with
#      ThreadSanitizer;
#   5. a short run of every fuzz program (FUZZ_SECONDS each, default 30, two at a time);
#   6. the page of the browser build (make web) in headless Chromium (tests/web/);
#   7. the best-times board (make board) on SQLite and on a throw-away PostgreSQL, with
#      replays recorded by the game, the page submitting to it in Chromium, and (as
#      root) its Debian package, which its test makes with CPack from build/, build-board/
#      and the page of step 6, installs, runs and purges.
# QUICK=1 runs only the first step.
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
# stage NAME: starts a stage, saying how long the one before took (so slow ones show).
stage_name="the tests of $build"
stage_start=$SECONDS
stage() {
    echo "== $stage_name: $((SECONDS - stage_start)) s"
    stage_name=$1
    stage_start=$SECONDS
    echo "== $1"
}
trap 'echo "== $stage_name: $((SECONDS - stage_start)) s"' EXIT
# Three at a time on two cores: the window tests play in real time and leave the cores
# to the others most of it.
ctest --test-dir "$build" --output-on-failure -j3
bash scripts/present-bench.sh "$build/zumble" 2
[ "${QUICK:-0}" = 1 ] && exit 0

stage "the Windows programs, cross-built, under Wine"
make -s windows BUILD="$build"
# Four at a time, each with its own X server and Wine prefix: they wait on the game's
# real-time rounds far more than they compute.
ctest --test-dir build-windows --output-on-failure -j4

stage "the suite under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DZUMBLE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j2 -E 'e2e_window'

stage "the mixer and a real window with its audio thread under ThreadSanitizer"
cmake -S . -B build-tsan -DZUMBLE_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build-tsan -j2 --target zumble sound_mixer_test
# SDL draws through its software renderer here: Mesa's GL threads are not built with
# ThreadSanitizer, which cannot see their own locks and would report them.
SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0 \
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -R '^(Mixer|Converter)\.|^e2e_window_play$'

stage "fuzzing, ${FUZZ_SECONDS:-30} seconds a program"
bash scripts/run-fuzz.sh "${FUZZ_SECONDS:-30}"

stage "the page in headless Chromium"
export NODE_PATH=/usr/share/nodejs
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build-web -j2
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
# Every tests/web/*_test.mjs, each a program of its own, all run even when one fails.
# One that needs the board (rooms_test) says SKIP with 77 here and runs in the board's
# stage, once the board is built.
web_failed=0
for t in tests/web/*_test.mjs; do
  rc=0
  node "$t" build-web/site "$build/zumble" || rc=$?
  [ "$rc" = 0 ] || [ "$rc" = 77 ] || web_failed=1
done
[ "$web_failed" = 0 ]

stage "the best-times board"
make -s board BUILD="$build"
# Each test its own servers and databases on free ports; the load test and the package's
# install run alone. Two at a time: three (a window, a browser and a cluster at once) on
# two cores made the timing-bound ones fail now and then.
ctest --test-dir build-board --output-on-failure -j2
