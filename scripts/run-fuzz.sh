#!/usr/bin/env bash
# Builds the fuzz programs with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for the given number of seconds (default 30) from its seed corpus.
#   scripts/run-fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DZUMBLE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(bitmap_fuzz wave_fuzz best_times_fuzz script_fuzz replay_fuzz)
cmake --build "$build" -j2 --target "${targets[@]}"
# Two at a time (each program is one thread): a machine of two cores runs them in half
# the time. Each one's lines are printed once it is done.
jobs=${FUZZ_JOBS:-2}
fuzz_one() {
    local t=$1 seeds="$PWD/fuzz/corpus/${1%_fuzz}" work rc=0
    work=$(mktemp -d /tmp/zumble-corpus-XXXXXX)
    echo "== $t for ${seconds}s" > "$work.out"
    if (cd "$work" && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
        "$OLDPWD/$build/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
        -print_final_stats=1 "$work" "$seeds" > "$work/log.txt" 2>&1); then
        grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$work/log.txt" | tail -2 >> "$work.out" || true
    else
        rc=1
        { echo "FAIL: $t (log below)"; tail -60 "$work/log.txt"; } >> "$work.out"
    fi
    cat "$work.out"
    rm -rf "$work" "$work.out"
    return $rc
}
status=0
running=0
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || status=1
        running=$((running - 1))
    fi
    fuzz_one "$t" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || status=1
    running=$((running - 1))
done
exit $status
