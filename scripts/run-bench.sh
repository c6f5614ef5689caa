#!/usr/bin/env bash
# Builds an optimised tree and runs the benchmarks and the timedemo measurements:
#   bench/ programs (Google Benchmark), then start-up, frame rate and peak memory of a
#   headless run of the whole game in its heaviest mode; verification's rate on rounds a
#   person plays (bench/verify_rate.sh); rooms racing live, the relay's delays and the
#   board's CPU per racer (bench/room_relay.sh); the page's timedemo, seeks and cold start over
#   slow and fast 4G (bench/web_*.mjs); last, what showing the picture
#   costs in a real window under Xvfb, on the path the game chooses and on the renderer.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZUMBLE_REQUIRE_BENCH=ON > /dev/null
# The game and the benchmarks only (bench/NAME.cpp is the program NAME), not the tests.
benches=()
for src in bench/*.cpp; do benches+=("$(basename "$src" .cpp)"); done
cmake --build "$build" -j2 --target zumble "${benches[@]}"
for b in "$build"/*_bench; do
    echo "== $(basename "$b")"
    "$b" --benchmark_min_time=0.5
done
echo "== start-up to the first flip, headless (5 runs)"
for _ in 1 2 3 4 5; do "$build/zumble" --headless --frames 1 --timedemo; done
echo "== a whole 1000-fly round at the top speed, test player, headless"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/round.txt" <<'S'
0 move 300 300
3 click
10 move 515 84
11 click
15 click
19 move 515 200
20 click
24 click
28 move 320 320
29 click
40 key return
S
"$build/zumble" --headless --autoplay --script "$work/round.txt" --frames 8000 --timedemo
echo "== verification of rounds a person plays: one --verify-stream, and the board end to end (make board first)"
bash bench/verify_rate.sh "$build/zumble" build-board/zumble-board
echo "== rooms racing live: two racers a room at 60 frames a second, a spectator each (make board first)"
bash bench/room_relay.sh "$build/zumble" build-board/zumble-board
echo "== the same on two boards over one PostgreSQL database, every link through the other board"
bash bench/room_relay.sh "$build/zumble" build-board/zumble-board 16 "" two
echo "== the same round in the browser build, headless Chromium (make web first)"
if [ -f build-web/site/index.html ] && [ -d tests/web/node_modules/playwright-core ]; then
    node bench/web_timedemo.mjs build-web/site "$build/zumble"
    echo "== seeks in the page's replay viewer, headless Chromium"
    node bench/web_seek.mjs build-web/site
    echo "== the page's cold start from the board's /play/: slow and fast 4G, and a second visit"
    if [ -x build-board/zumble-board ]; then
        node bench/web_cold_start.mjs build-web/site build-board/zumble-board "$build/zumble"
    else
        echo "skipped: run make board first"
    fi
else
    echo "skipped: run make web and (cd tests/web && npm ci) first"
fi
PRESENT_PATHS="auto renderer" bash scripts/present-bench.sh "$build/zumble" 5
