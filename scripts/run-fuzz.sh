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
status=0
for t in "${targets[@]}"; do
    seeds="$PWD/fuzz/corpus/${t%_fuzz}"
    work=$(mktemp -d /tmp/zumble-corpus-XXXXXX)
    echo "== $t for ${seconds}s"
    if ! (cd "$work" && UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
          "$OLDPWD/$build/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
          -print_final_stats=1 "$work" "$seeds" > "$work/log.txt" 2>&1); then
        echo "FAIL: $t (log below)"
        tail -60 "$work/log.txt"
        status=1
    else
        grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$work/log.txt" | tail -2
    fi
    rm -rf "$work"
done
exit $status
