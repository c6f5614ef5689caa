#!/usr/bin/env bash
# A round played through a real window under Xvfb (xdotool moves and clicks the real
# mouse) leaves replays/ files; --verify plays the replay to the time hiscoa.sav holds;
# --headless --replay retraces the round's frames as the window traced them; --replay in
# a window shows the same frames at 60 per second and stays on the round's last picture
# (its board, not the black frame of the leave), and Escape
# stops it. Skipped (77) only where Xvfb or xdotool is missing.
set -u
. "$(dirname "$0")/common.bash"
for tool in Xvfb xdotool; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
GAME=""
start_xvfb 1400x1100x24
export SDL_AUDIODRIVER=dummy

last() { tail -1 "$1"; }
# round_lines TRACE FIRST COUNT [DROP]: COUNT lines from flip FIRST on, without the frame
# counter and the fields named by the sed expression DROP.
round_lines() {
    awk -v a="$2" -v n="$3" '{ f = substr($1, 7) + 0 } f >= a && f < a + n { sub(/^frame=[0-9]+ /, ""); print }' "$1" |
        sed "${4:-}"
}

# --- a round at the window ------------------------------------------------------------
"$ZUMBLE" --window --scale 2 --trace w.trace 2>w.err &
GAME=$!
win=$(find_window)
[ -n "$win" ] || { fail "no window"; kill $GAME; exit 1; }
xdotool windowfocus --sync "$win" 2>/dev/null
sleep 1
# click X Y: the real mouse at game position (X, Y) of the doubled window.
click() { xdotool mousemove --window "$win" $(($1 * 2 + 1)) $(($2 * 2 + 1)) click 1; sleep "${3:-0.4}"; }
click 300 300            # the title's start entry
click 120 80             # ten flies
click 120 200            # the slowest speed
click 320 320 0.5        # start
check "the round started" test "$(last w.trace | field scene)" = 8

# Swat the oldest fly, as a player would, until the results board shows.
for _ in $(seq 240); do
    line=$(last w.trace)
    [ "$(echo "$line" | field phase)" -ge 2 ] 2>/dev/null && break
    fly=$(echo "$line" | sed -n 's/.* fly=\([-0-9]*\),\([-0-9]*\).*/\1 \2/p')
    if [ -n "$fly" ]; then
        set -- $fly
        x=$(($1 + 1)) y=$(($2 + 1))
        [ $x -lt 0 ] && x=0; [ $x -gt 639 ] && x=639; [ $y -lt 0 ] && y=0; [ $y -gt 479 ] && y=479
        xdotool mousemove --window "$win" $((x * 2)) $((y * 2)) click 1
    fi
    sleep 0.15
done
check "the round was cleared at the window" test "$(last w.trace | field phase)" -ge 2
sleep 1.5
click 320 240 0.5        # leave the board
check "the board was left for mode select" test "$(last w.trace | field scene)" = 5
xdotool key --window "$win" Escape
sleep 0.5
xdotool key --window "$win" Escape
for _ in $(seq 50); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
wait $GAME
check "the game quit by itself (exit $?)" test $? -eq 0
GAME=""

check "the window's round left replays/last.zrp" test -s replays/last.zrp
check "and the replay of its best time" test -s replays/best-10-1-1.zrp
want=$(entry hiscoa.sav 0)
frames=$(u32 replays/last.zrp 52)
out=$("$ZUMBLE" --verify replays/last.zrp 2>/dev/null)
check "--verify gives the time hiscoa.sav holds ($want): '$out'" \
    test "${out%% round=*}" = "ok flies=10 speed=1 time_ms=$want frames=$frames"

# The replay's trace against the window's: every field but the frame counter and the
# tick. A window traces the real clock when the flip completes; the game reads its own
# tick a little later in the frame, and the replay keeps (and retraces) that one. The
# round's clock, made of those ticks, must agree.
start=$(u32 replays/last.zrp 36)
"$ZUMBLE" --headless --replay replays/last.zrp --trace h.trace >h.out 2>&1 || fail "--headless --replay: exit $?"
hstart=$(($(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' h.trace | cut -d' ' -f1 | cut -d= -f2) - 1))
round_lines w.trace $((start + 1)) "$frames" 's/^tick=[0-9]* //' >w.round
round_lines h.trace $((hstart + 1)) "$frames" 's/^tick=[0-9]* //' >h.round
check "the window's round has $frames frames in its trace" test "$(wc -l <w.round)" -eq "$frames"
check "--headless --replay retraces the window's round (all but frame and tick)" cmp -s w.round h.round

# --- the replay in a window -------------------------------------------------------------
md5sum hiscoa.sav replays/* >before.md5
secs=$(date +%s)
"$ZUMBLE" --window --scale 2 --replay replays/last.zrp --trace r.trace >r.out 2>&1 &
GAME=$!
# The viewer stays on the round's last picture until Escape: its board, the frame before
# the black one of the leave to mode select, which it leaves out.
for _ in $(seq 600); do
    [ "$(wc -l <r.trace 2>/dev/null || echo 0)" -ge "$(($(wc -l <h.trace) - 1))" ] && break
    kill -0 $GAME 2>/dev/null || break
    sleep 0.1
done
took=$(($(date +%s) - secs))
win=$(find_window)
check "--replay in a window stays on the last frame" kill -0 $GAME
xdotool key --window "$win" Escape 2>/dev/null
for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
wait $GAME
check "--replay in a window ends on Escape at its end (exit $?)" test $? -eq 0
GAME=""
check "--replay shows the round at 60 frames a second ($frames frames in ${took}s)" \
    test "$took" -ge $((frames / 60 - 1))
rstart=$(($(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' r.trace | cut -d' ' -f1 | cut -d= -f2) - 1))
round_lines r.trace $((rstart + 1)) "$frames" >r.round
round_lines h.trace $((hstart + 1)) "$frames" >h.full
check "the window's replay shows the headless replay's frames up to the board, ticks too" \
    cmp -s r.round <(head -n $((frames - 1)) h.full)
check "and not the black frame of the leave" test "$(wc -l <r.round)" -eq $((frames - 1))

# Escape stops a replay; the player's mouse steers nothing.
"$ZUMBLE" --window --scale 2 --replay replays/last.zrp --trace s.trace >s.out 2>&1 &
GAME=$!
win=$(find_window)
sleep 1.5
xdotool mousemove --window "$win" 100 100 click 1 2>/dev/null
xdotool key --window "$win" Escape 2>/dev/null
for _ in $(seq 50); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
if kill -0 $GAME 2>/dev/null; then
    fail "Escape did not stop the replay"
    kill $GAME
fi
wait $GAME
GAME=""
check "a stopped replay had not reached its end" test "$(wc -l <s.trace)" -lt "$(wc -l <r.trace)"
srounds=$(($(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' s.trace | cut -d' ' -f1 | cut -d= -f2) - 1))
n=$(($(wc -l <s.trace) - srounds - 2))
round_lines s.trace $((srounds + 1)) "$n" >s.round
check "the player's click did not reach the replayed game" cmp -s s.round <(head -n "$n" h.full)
check "replays in a window changed no file" md5sum --quiet -c before.md5

finish
