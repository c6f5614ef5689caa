#!/usr/bin/env bash
# Replay figures: file sizes (the corpus, a 1000-fly round, a round with the mouse always
# moving), --verify beside the timedemo of the same 1000-fly round, and a 30-fly round
# verified with the process's start and end.
#   scripts/replay-bench.sh [build/zumble]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
zumble=$(realpath "${1:-$src/build/zumble}")
work=$(mktemp -d /tmp/zumble-replay-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
ln -s "$src/bmp" "$work/bmp"
ln -s "$src/wave" "$work/wave"
cd "$work"
u32() { od -A n -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
size_line() {  # NAME FILE
    local bytes frames
    bytes=$(wc -c <"$2")
    frames=$(u32 "$2" 52)
    awk -v n="$1" -v b="$bytes" -v f="$frames" 'BEGIN { printf "%-28s %6d bytes %6d frames %5.2f bytes/frame\n", n, b, f, b / f }'
}

echo "== sizes"
for f in "$src"/tests/replays/*.zrp; do size_line "$(basename "$f")" "$f"; done

# A thousand flies with the test player.
printf '%s\n' "0 move 300 300" "3 click" "10 move 515 80" "12 click" "14 click" "20 move 320 320" "22 click" \
    "30000 key escape" "30010 key escape" >big.script
"$zumble" --headless --autoplay --script big.script --frames 40000 >/dev/null
cp replays/last.zrp big.zrp
size_line "1000 flies (test player)" big.zrp

# Ten flies, the mouse always moving: a few pixels a frame around the screen, a click
# now and then, as a player's hand would.
awk 'BEGIN {
    print "0 move 300 300"; print "3 click"; print "10 move 120 80"; print "12 click"; print "16 move 320 320"; print "18 click"
    x = 320; y = 320
    for (f = 20; f < 4000; f++) {
        x += 5 * cos(f / 23); y += 4 * sin(f / 31)
        if (x < 0) x = 0; if (x > 639) x = 639; if (y < 0) y = 0; if (y > 479) y = 479
        printf "%d move %d %d\n", f, x, y
        if (f % 20 == 0) printf "%d click\n", f
    }
    print "4000 key escape"
}' >moving.script
rm -rf replays
"$zumble" --headless --script moving.script --frames 4100 >/dev/null
size_line "mouse always moving" replays/last.zrp

echo "== --verify beside the timedemo of the same 1000-fly round ($(u32 big.zrp 52) frames)"
for run in 1 2 3; do
    printf 'timedemo (--headless --replay): %s\n' "$("$zumble" --headless --replay big.zrp --timedemo | grep '^frames=')"
    printf 'verify   (--verify --timedemo): %s\n' "$("$zumble" --verify big.zrp --timedemo | grep '^frames=')"
done

echo "== a 30-fly round verified, process start to end"
for run in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$zumble" --verify "$src/tests/replays/30-flies-speed-1.zrp" >/dev/null
    echo "$(( ($(date +%s%N) - start) / 1000000 )) ms"
done
