#!/usr/bin/env bash
# The board under attack while it serves, loopback only, bounded in time. All at once:
# one address sending costly replays as fast as it may (6 at a time), 200 slow
# connections from another trickling a header line a second, a request for the 2 MB page
# file with 200 ranges every second, 50 readers of the boards at a steady 500 requests a
# second, and a player submitting a genuine round (one a person could play, of its own)
# every 2 s from an address of its own.
# Prints the player's answer times, the readers' p50/p99, and what each attacker got.
#   board/bench/board_attack_load.sh [build-board/zumble-board] [build/zumble] [SECONDS]
# With --check (make test): 6 seconds with the stand-in verifier (each costly replay
# spins a second of CPU), and the outcome checked: every genuine round answered 201
# within 5 s, no reader error, no range answer larger than the file.
set -euo pipefail
check=0
if [ "${1:-}" = --check ]; then check=1; shift; fi
src=$(cd "$(dirname "$0")/../.." && pwd)
board=$(realpath "${1:-$src/build-board/zumble-board}")
game=$(realpath -m "${2:-$src/build/zumble}")
duration=${3:-30}
command -v wrk > /dev/null || { echo "SKIP: wrk is not installed (scripts/install-deps.sh)"; exit $((check ? 77 : 1)); }
work=$(mktemp -d /tmp/zumble-board-attack-XXXXXX)
server=""
trap '[ -n "$server" ] && kill $server 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
attack=(python3 "$src/board/tests/board_attack.py")
mkdir -p "$work/site" "$work/costly" "$work/genuine"
head -c $((2 * 1024 * 1024)) /dev/urandom > "$work/site/big.data"
echo '<title>page</title>' > "$work/site/index.html"

if [ $check = 1 ]; then
    duration=6
    verifier=$src/board/tests/fake_zumble.sh
    extra=(--verify-cpu 1)
    for i in $(seq 1 12); do
        { "$src/board/tests/fake_replay.sh" 1000 1 spin; echo "costly $i"; } > "$work/costly/c-$i.rpl"
    done
    for i in $(seq 1 6); do
        { "$src/board/tests/fake_replay.sh" 30 1 abcdefghij; echo "round $i"; } > "$work/genuine/g-$i.rpl"
    done
else
    verifier=$game
    extra=()
    # Costly replays: a 1000-fly round left idle for 30,000 frames (every fly alive and
    # flying), its time set to ten minutes so that its length is one a round may have,
    # CRC made right; numbered in the recorder's text so each is verified anew. Each costs
    # the verifier the whole playback before it is refused.
    rec=$work/rec
    mkdir -p "$rec"
    ln -s "$src/bmp" "$rec/bmp"
    ln -s "$src/wave" "$rec/wave"
    printf '%s\n' "0 move 300 300" "3 click" "10 move 515 80" "12 click" "14 click" \
        "20 move 320 320" "22 click" "30000 key escape" > "$rec/idle.script"
    (cd "$rec" && "$game" --headless --script idle.script --frames 30100 > /dev/null)
    python3 - "$rec/replays/last.zrp" "$work/costly" <<'PY'
import os, struct, sys, zlib
idle, costly = sys.argv[1:3]
def variant(data, i, time_ms=None):
    d = bytearray(data)
    d[12:28] = ('load %010d' % i).encode().ljust(16, b'\0')
    if time_ms is not None:
        struct.pack_into('<I', d, 48, time_ms)
    struct.pack_into('<I', d, len(d) - 4, zlib.crc32(bytes(d[:-4])))
    return d
idle_bytes = open(idle, 'rb').read()
for i in range(1, 201):
    open(os.path.join(costly, 'c-%d.zrp' % i), 'wb').write(variant(idle_bytes, i, 600000))
PY
    # The player's rounds: rounds a person could play (tests/e2e/human_round.py), each
    # one of its own (two plays, each left in its own ways: other inputs, not other
    # header text, which the board counts as the same round).
    python3 "$src/tests/e2e/human_round.py" "$game" "$src" "$work/genuine/a-%d.zrp" --time 1700010000 \
        --variants $((duration / 4 + 1)) > /dev/null &
    python3 "$src/tests/e2e/human_round.py" "$game" "$src" "$work/genuine/b-%d.zrp" --time 1700011000 \
        --variants $((duration / 4 + 1)) > /dev/null
    wait $!
fi

"$board" --port 0 --db "$work/attack.db" --zumble "$verifier" --work-dir "$work" \
    --site "$work/site" --review-top 0 "${extra[@]}" > "$work/server.out" 2> "$work/server.err" &
server=$!
for _ in $(seq 100); do grep -q 'http://' "$work/server.out" && break; sleep 0.1; done
url=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/server.out")
echo "board: $url, $(nproc) cores, $(sed -n 's/.*, \([0-9]*\) verifier.*/\1/p' "$work/server.out") verifier(s), ${duration} s$([ $check = 1 ] && echo ', stand-in verifier')"

"${attack[@]}" hog "$url" 127.0.0.3 "$duration" 6 "$work"/costly/* > "$work/hog.out" &
hog=$!
"${attack[@]}" slowload "$url" 200 "$duration" 127.0.0.2 > "$work/slow.out" &
slow=$!
"${attack[@]}" rangeloop "$url" /play/big.data "$duration" 200 > "$work/ranges.out" &
ranges=$!
wrk -t1 -c50 -d"${duration}s" --timeout 10s -s "$src/board/bench/board_read.lua" "$url" -- 100 \
    > "$work/read.out" &
readers=$!
sleep 1   # the attackers first: the player comes when they are at it
"${attack[@]}" genuine "$url" 127.0.0.4 "$((duration - 1))" 2 "$work"/genuine/* > "$work/genuine.out"
wait $hog $slow $ranges $readers
cat "$work/genuine.out" "$work/hog.out" "$work/slow.out" "$work/ranges.out"
sed -n 's/^reads:/readers:/p' "$work/read.out"
grep -h 'Non-2xx\|Socket errors' "$work/read.out" || true

if [ $check = 1 ]; then
    fails=0
    fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
    g=$(cat "$work/genuine.out")
    n=$(sed -n 's/^genuine: \([0-9]*\) submissions.*/\1/p' <<< "$g")
    [ "$n" -ge 2 ] || fail "the player got fewer than two rounds in ($g)"
    grep -q "submissions, 201:$n," <<< "$g" || fail "not every genuine round was stored ($g)"
    max=$(sed -n 's/.*max \([0-9]*\) ms/\1/p' <<< "$g")
    [ "$max" -lt 5000 ] || fail "a genuine round waited ${max} ms behind the costly ones"
    grep -q ' 429:' "$work/hog.out" || fail "the hog was never told to wait ($(cat "$work/hog.out"))"
    ! grep -q 'Non-2xx\|Socket errors' "$work/read.out" || fail "readers met errors"
    largest=$(sed -n 's/.*largest answer \([0-9]*\) bytes/\1/p' "$work/ranges.out")
    [ "$largest" -le $((2 * 1024 * 1024 + 4096)) ] || fail "a range answer of $largest bytes"
    [ $fails = 0 ] && echo "attack load: all checks passed"
    exit $((fails > 0))
fi
