#!/usr/bin/env bash
# zumble-ddraw.exe records no replays, but its records move the kept replays as the table
# moves: a round it plays (swatting the flies the trace shows) enters a table of five
# slow records that the Linux game set with their replays; afterwards every replay
# stands for the place it is named for and verifies to that place's time, the ddraw
# round's place has none, and the record that fell off took its replay along.
set -u
. "$(dirname "$0")/wine.bash" "$@"
start_wine desktop

data_folder game
cp "$BUILD_WINDOWS/zumble-ddraw.exe" game/
cd game

# Five records of ten flies at speed 1 (row 0), made slow by Space (fewer new flies) so
# that a round played by hand beats them.
for k in 30 40 50 60 70; do
    {
        printf '%s\n' '0 move 300 300' '3 click' '10 move 120 80' '12 click' '14 move 120 200' '16 click' \
            '18 move 320 320' '20 click'
        for i in $(seq "$k"); do echo "$((30 + 2 * i)) key space"; done  # a key's repeat, 30 a second
        printf '%s\n' '11900 key escape' '11910 key escape'
    } > slow.script
    "$LINUX_ZUMBLE" --headless --autoplay --script slow.script --time $((1000000000 + k)) --frames 12000 \
        > /dev/null 2>&1 || fail "the Linux game's round with $k spaces"
done
before=$(for p in 0 1 2 3 4; do entry hiscoa.sav "$p"; done | tr '\n' ' ')
echo "the Linux game's records: $before"
check "five records with their replays to begin with" test "$(ls replays | grep -c '^best-10-1-')" -eq 5

timeout 300 "$WINE" zumble-ddraw.exe --trace t.txt > out.txt 2> err.txt &
GAME=$!
check "the title shows" wait_for t.txt scene 2
xdotool mousemove 300 300 sleep 0.2 click 1
check "mode select shows" wait_for t.txt scene 5
xdotool mousemove 120 80 sleep 0.2 click 1 sleep 0.3 mousemove 120 200 sleep 0.2 click 1 sleep 0.3 \
    mousemove 320 320 sleep 0.2 click 1
check "the round starts" wait_for t.txt scene 8
# The oldest fly, as the last trace line shows it, swatted until the board shows.
for _ in $(seq 1200); do
    line=$(tail -1 t.txt)
    [ "$(echo "$line" | field phase)" -ge 2 ] 2>/dev/null && break
    fly=$(echo "$line" | field fly)
    if [ -n "$fly" ]; then
        # A fly coming in from beyond the edge is aimed at from the edge.
        x=$((${fly%,*} + 1)) y=$((${fly#*,} + 1))
        xdotool mousemove $((x < 0 ? 0 : x > 639 ? 639 : x)) $((y < 0 ? 0 : y > 479 ? 479 : y)) click 1
    fi
    sleep 0.1
done
check "all ten flies are swatted" wait_for t.txt phase 3
xdotool click 1
check "the board is left" wait_for t.txt scene 5
xdotool key Escape
check "back at the title" wait_for t.txt scene 2
xdotool key Escape
wait_exit
check "Escape on the title quits with exit 0" test $? -eq 0
after=$(for p in 0 1 2 3 4; do entry hiscoa.sav "$p"; done | tr '\n' ' ')
echo "the table after zumble-ddraw.exe's round: $after"

# The ddraw round's time is the one in the table that none of the Linux game's was.
mine=""
for t in $after; do case " $before" in *" $t "*) ;; *) mine=$t ;; esac; done
check "zumble-ddraw.exe's round is in the table ($mine ms)" test -n "$mine"
for p in 1 2 3 4 5; do
    time=$(entry hiscoa.sav $((p - 1)))
    file=replays/best-10-1-$p.zrp
    if [ "$time" = "$mine" ]; then
        check "place $p, zumble-ddraw.exe's, has no replay" test ! -e "$file"
    else
        out=$("$LINUX_ZUMBLE" --verify "$file" 2>&1)
        check "place $p's replay verifies to its $time ms ('$out')" \
            test "$(echo "$out" | sed -n 's/^ok flies=10 speed=1 time_ms=\([0-9]*\) .*/\1/p')" = "$time"
    fi
done
check "the record that fell off took its replay along" test "$(ls replays | grep -c '^best-10-1-')" -eq 4
finish
