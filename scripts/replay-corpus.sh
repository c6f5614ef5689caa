#!/usr/bin/env bash
# Records the replay corpus in tests/replays/ again with the built game, and writes the
# result each file plays to (expected.txt), which the tests check on every build. Only
# for a deliberate change of the game or of the replay format (raise its version first),
# or of what --verify says of a round (the files then come out the same, byte for byte):
# a corpus that stops verifying otherwise is a fault to mend, not to re-record.
#   scripts/replay-corpus.sh [build/zumble]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
zumble=$(realpath "${1:-$src/build/zumble}")
out=$src/tests/replays
work=$(mktemp -d /tmp/zumble-corpus-XXXXXX)
trap 'rm -rf "$work"' EXIT
ln -s "$src/bmp" "$work/bmp"
ln -s "$src/wave" "$work/wave"
cd "$work"

# record NAME TIME TICK0 SCRIPT-LINES...: one round with the test player, from the title.
record() {
    local name=$1 time=$2 tick0=$3
    shift 3
    rm -rf replays hiscoa.sav
    printf '%s\n' "0 move 300 300" "3 click" "$@" "9000 key escape" "9010 key escape" >round.script
    "$zumble" --headless --autoplay --script round.script --time "$time" --tick0 "$tick0" --frames 12000 >/dev/null
    cp replays/last.zrp "$out/$name.zrp"
}

rm -f "$out"/*.zrp
# Mode select: the upper arrows set the flies, the lower ones the speed; then start.
record 10-flies-speed-2 1000000000 0 "10 move 120 80" "12 click" "16 move 320 320" "18 click"
record 30-flies-speed-1 1234567890 5000 "10 move 120 200" "12 click" "16 move 320 320" "18 click"
# The tick count wraps during this round.
record 100-flies-speed-4 1500000000 4294960000 "10 move 515 80" "12 click" "14 move 515 200" "16 click" \
    "20 click" "26 move 320 320" "28 click"
# A thousand flies: the longest mode.
record 1000-flies-speed-2 1600000000 0 "10 move 515 80" "12 click" "14 click" "20 move 320 320" "22 click"
# Keys that change how fast flies come, and the window losing and regaining focus.
record 10-flies-speed-3-keys 1700000000 100 "10 move 120 80" "12 click" "14 move 515 200" "16 click" \
    "20 move 320 320" "22 click" "60 key return" "90 key return" "200 key space" "250 activate" \
    "251 deactivate" "252 activate"
# Left with Escape before the last fly: a replay without a time.
record left-early 1100000000 0 "10 move 120 80" "12 click" "16 move 320 320" "18 click" "150 key escape" \
    "300 key escape" "310 key escape"

cd "$out"
for f in *.zrp; do
    printf '%s %s\n' "$f" "$("$zumble" --verify "$f" 2>/dev/null)"
done >expected.txt
cat expected.txt
