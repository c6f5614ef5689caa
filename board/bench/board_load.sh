#!/usr/bin/env bash
# Load on one board, loopback only, bounded in time: 200 clients reading boards and 20
# submitting replays for DURATION seconds (default 30), on SQLite, with the verifier
# pool at its default (one fewer than the cores). Prints reads/s and their p50/p99,
# then the JSON board and the page each read flat out by 50 connections (wrk -t2 -c50)
# while the submitters go on, submissions' p50/p99, verifications per second (and per
# verifier core), after the answer time of single 10-fly submissions on the idle server.
# The submitters' requests each come from an address of their own (X-Forwarded-For, the
# server started with --trust-proxy), as players' would.
#   board/bench/board_load.sh [build-board/zumble-board] [build/zumble] [DURATION]
# BOARD_DB=postgresql://... runs it on that (empty, throw-away) PostgreSQL database.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
board=$(realpath "${1:-$src/build-board/zumble-board}")
game=$(realpath "${2:-$src/build/zumble}")
duration=${3:-30}
command -v wrk > /dev/null || { echo "wrk is not installed (scripts/install-deps.sh)"; exit 1; }
work=$(mktemp -d /tmp/zumble-board-bench-XXXXXX)
server=""
trap '[ -n "$server" ] && kill $server 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT

# Distinct rounds a person could play (tests/e2e/human_round.py), each costing the
# verifier a whole round: two plays, each left in its own ways (other inputs; other
# header text would be the same round to the board). BENCH_ROUNDS of them (20 for each
# of the 3 x DURATION seconds the submitters run, more than one verifier core gets
# through, so that every read is measured while runs are being verified), made two at a time, and 20 more for the idle
# server.
rounds=${BENCH_ROUNDS:-$((60 * duration))}
for half in a b; do
    seed=$([ $half = a ] && echo 1700020000 || echo 1700021000)
    python3 "$src/tests/e2e/human_round.py" "$game" "$src" "$work/$half-%d.zrp" --time "$seed" \
        --variants $((rounds / 2)) > /dev/null &
done
# The idle server's 20: each a play of its own (its own seed), so that each is stored
# and its clip made.
for i in $(seq -w 1 20); do
    python3 "$src/tests/e2e/human_round.py" "$game" "$src" "$work/idle-$i.zrp" --time $((1700030000 + 10#$i)) > /dev/null &
    [ $((10#$i % 2)) = 0 ] && wait
done
wait
i=0
for f in "$work"/a-*.zrp "$work"/b-*.zrp; do
    i=$((i + 1))
    mv "$f" "$work/v-$(printf %05d $i).zrp"
done
rounds=$i

db=${BOARD_DB:-$work/bench.db}
runs() {
    case $db in
        postgres*) psql -qtAX "$db" -c 'SELECT count(*) FROM runs' ;;
        *) sqlite3 "$db" 'SELECT count(*) FROM runs' ;;
    esac
}
# BENCH_CLIPS=0: the same without the clip queue, to compare the answers' times.
clips=$([ "${BENCH_CLIPS:-1}" = 0 ] && echo --no-clips || true)
"$board" --port 0 --db "$db" --zumble "$game" --work-dir "$work" --threads 256 $clips --review-top 0 \
    --submit-burst 1000000 --submit-rate 1000000 --trust-proxy > "$work/server.out" 2> "$work/server.err" &
server=$!
for _ in $(seq 100); do grep -q 'http://' "$work/server.out" && break; sleep 0.1; done
url=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/server.out")
cores=$(nproc)
verifiers=$(sed -n 's/.*, \([0-9]*\) verifier.*/\1/p' "$work/server.out")
echo "board: $url on ${db%%\?*}, $cores cores, $verifiers verifier(s), $(uname -m)"

# A 10-fly round, submitted alone to the idle server: the whole answer, verification
# and storing included.
for i in $(seq -w 1 20); do
    curl -s -o /dev/null -w '%{time_total}\n' -X POST --data-binary "@$work/idle-$i.zrp" \
        -H 'Content-Type: application/octet-stream' "$url/api/runs?name=Idle%20$i"
done | sort -n > "$work/idle.times"
echo "idle 10-fly submission: p50 $(awk 'NR==10{printf "%.1f", $1*1000}' "$work/idle.times") ms," \
     "max $(awk 'END{printf "%.1f", $1*1000}' "$work/idle.times") ms (20 submissions)"

# The clip queue making the idle submissions' clips, one after another, alone.
made() { grep -c 'clip of run [0-9]* \(made\|dropped\)' "$work/server.err" || true; }
if [ -z "$clips" ]; then
    start=$(date +%s%N)
    for _ in $(seq 1200); do [ "$(made)" -ge 20 ] && break; sleep 0.1; done
    awk -v n="$(made)" -v ns="$(($(date +%s%N) - start))" 'BEGIN {
        printf "clips of the idle submissions: %d made (with their stills) %.1f s after the last answer\n", n, ns / 1e9 }'
    grep -o 'made in [0-9.]* s' "$work/server.err" | awk '{s += $3; n++} END {if (n) printf "clip and still of a 10-fly run: %.2f s each on average (%d): %.1f a minute\n", s / n, n, 60 * n / s}'
fi

# Some runs on the boards first, so reads have something to show.
wrk -t1 -c4 -d3s -s "$src/board/bench/board_submit.lua" "$url" -- "$work" "$rounds" $((rounds / 2)) > /dev/null
before=$(runs)
echo "runs on the boards before the load: $before"

# 20 submitters all along; 200 readers first at a steady 1000 requests a second (a
# pause of 190 ms between each connection's requests, plus the answer's time), then as
# fast as they can.
wrk -t1 -c20 -d"$((3 * duration))s" --timeout 30s -s "$src/board/bench/board_submit.lua" "$url" \
    -- "$work" "$rounds" 0 > "$work/submit.out" &
submitters=$!
wrk -t1 -c200 -d"${duration}s" --timeout 10s -s "$src/board/bench/board_read.lua" "$url" -- 190 > "$work/read-paced.out"
wrk -t1 -c200 -d"${duration}s" --timeout 10s -s "$src/board/bench/board_read.lua" "$url" -- 0 > "$work/read-flat.out"
half=$((duration / 2 > 1 ? duration / 2 : 1))
wrk -t2 -c50 -d"${half}s" --latency "$url/api/boards" > "$work/read-json.out"
wrk -t2 -c50 -d"${half}s" --latency "$url/" > "$work/read-page.out"
wait $submitters
after=$(runs)
sed -n 's/^reads:/reads at a steady rate:/p' "$work/read-paced.out"
sed -n 's/^reads:/reads flat out:/p' "$work/read-flat.out"
for what in json page; do
    awk -v what="$what" '/Requests\/sec/ {rps = $2} /^ +50%/ {p50 = $2} /^ +99%/ {p99 = $2}
        END {printf "%s flat out, wrk -t2 -c50: %.0f req/s, p50 %s, p99 %s\n",
             (what == "json" ? "/api/boards" : "the page /"), rps, p50, p99}' "$work/read-$what.out"
done
grep -h '^submissions:\|Non-2xx\|Socket errors' "$work/read-paced.out" "$work/read-flat.out" \
    "$work/read-json.out" "$work/read-page.out" "$work/submit.out"
verified=$((after - before))
duration=$((3 * duration))
awk -v n="$verified" -v d="$duration" -v v="$verifiers" 'BEGIN {
    printf "verified and stored: %d runs in %d s = %.1f verifications/s, %.1f per verifier core\n", n, d, n / d, n / d / v }'
[ "$after" -lt $((rounds + 20)) ] || echo "(every prepared round was stored: a lower bound; BENCH_ROUNDS=$((rounds * 4)) for more)"

# While the submitters ran, the queue let the verifiers go first but took its share (it
# waits 2 s at most for them): the clips it made by the end of the load.
[ -z "$clips" ] && echo "clip queue: $(made) jobs done by the end of the load, of $(runs) runs stored" \
    "($(grep -c 'clip of run [0-9]* dropped' "$work/server.err" || true) dropped)"
