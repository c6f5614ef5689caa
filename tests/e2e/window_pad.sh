#!/usr/bin/env bash
# A player with a gamepad at a real window under Xvfb. The game's tester pad
# (--virtual-pad: SDL's virtual joystick, plugged in while the game runs and read through
# SDL's game controller events like any pad) is steered by pad_driver.py, which watches
# the trace: from the title through a whole 10-fly round to the results board and back,
# with the d-pad, the precision button, Start, B and a pad pulled out on the way. The
# round's replay verifies to the time hiscoa.sav holds. Then the pad's settings:
# display.ini's, --pad-speed winning and kept, a damaged file ignored. Skipped (77) only
# where Xvfb or xdotool is missing.
set -u
. "$(dirname "$0")/common.bash"
for tool in Xvfb xdotool xwininfo python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
GAME=""
start_xvfb 1400x1100x24
export SDL_AUDIODRIVER=dummy
DRIVER="python3 $SRC/tests/e2e/pad_driver.py t.txt pad.txt"

start() {  # start [options]: the game and its unplugged pad, focused (pads steer the focused game only)
    local try
    for try in 1 2; do
        rm -f t.txt
        : > pad.txt
        xdotool mousemove 0 0  # the real pointer away from the window: only the pad moves the cursor
        "$ZUMBLE" --window --scale 1 --trace t.txt --virtual-pad pad.txt "$@" 2> err.txt &
        GAME=$!
        win=$(find_window)
        [ -n "$win" ] && break
        kill $GAME 2>/dev/null
        wait $GAME
        GAME=""
        # Xvfb on a machine this busy has now and then refused the game's connection:
        # SDL then finds only its off-screen driver: one more start, said out loud.
        echo "no window (try $try): $(tr "\n" " " < err.txt)"
    done
    [ -n "$win" ] || { fail "no window: $(tail -1 err.txt)"; return 1; }
    xdotool windowfocus --sync "$win" 2>/dev/null
    wait_until 30 frame_reached t.txt 20 || fail "the game shows no frames: $(tail -1 err.txt)"
}
gone() { ! kill -0 "$1" 2>/dev/null; }
ended() {  # the game's exit code once it ends by itself (within 30 s), else 99
    wait_until 30 gone $GAME
    kill -0 $GAME 2>/dev/null && kill $GAME
    wait $GAME
    local code=$?
    GAME=""
    [ $code -eq 143 ] && return 99
    return $code
}
quit() { echo 'press b' >> pad.txt; ended; }  # B on the title: Escape, which quits

# --- a whole round with the pad -----------------------------------------------------
start
$DRIVER round 600 | tee driver.txt
check "the pad's round: every check of the driver passed" test "${PIPESTATUS[0]}" -eq 0
ended
check "B on the title ends the game with exit 0" test $? -eq 0
check "no complaint on stderr" test ! -s err.txt
check "the round left replays/last.zrp" test -s replays/last.zrp
want=$(entry hiscoa.sav 0)
frames=$(u32 replays/last.zrp 52)
out=$("$ZUMBLE" --verify replays/last.zrp 2>&1)
check "the pad round's replay verifies to the time hiscoa.sav holds ($want): '$out'" \
    test "${out%% round=*}" = "ok flies=10 speed=1 time_ms=$want frames=$frames"
check "and it is the best time's replay too" cmp -s replays/last.zrp replays/best-10-1-1.zrp
check "its header says a gamepad played it (flags 4)" test "$(u32 replays/last.zrp 64)" = 4

# --- the pad's settings ---------------------------------------------------------------
speed() { $DRIVER speed | sed -n 's/^px_per_frame=//p'; }
printf 'display=window\nscale=1\npad-speed=1200\n' > display.ini
start
got=$(speed)
quit
check "display.ini's pad-speed=1200 moves 20 px a frame (got $got)" test "$got" = 20.00
start --pad-speed 300 --pad-precision 50
got=$(speed)
quit
check "--pad-speed 300 wins for its run: 5 px a frame (got $got)" test "$got" = 5.00
check "and is kept in display.ini" grep -qx 'pad-speed=300' display.ini
check "with --pad-precision" grep -qx 'pad-precision=50' display.ini
check "beside the display's lines" grep -qx 'display=window' display.ini
printf 'display=window\nscale=1\npad-speed=9000\n' > display.ini
start
got=$(speed)
quit
check "a damaged display.ini gives the default speed, 10 px a frame (got $got)" test "$got" = 10.00
check "without a complaint" test ! -s err.txt

# A stick held as the focus goes stops moving the cursor: the pad steers the focused game.
start --pad-speed 250
echo plug >> pad.txt
sleep 1.5
echo 'stick -32768 0' >> pad.txt
wait_until 30 trace_says t.txt cursor 0,240
echo 'stick 32767 0' >> pad.txt
sleep 0.2
xdotool windowfocus --sync "$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')" 2>/dev/null
# The focus's going reaches the game when it reaches it (a busy machine is slow): the
# cursor comes to rest, and must rest short of the far edge the held stick points to.
resting() { local at; at=$(tail -1 t.txt | field cursor); sleep 0.5; [ "$(tail -1 t.txt | field cursor)" = "$at" ]; }
wait_until 20 resting
away=$(tail -1 t.txt | field cursor)
sleep 0.5
check "the focus gone, a held stick moves the cursor no more (at $away, then $(tail -1 t.txt | field cursor))" \
    test "$(tail -1 t.txt | field cursor)" = "$away" -a "$away" != 639,240
xdotool windowfocus --sync "$win" 2>/dev/null
quit

# A tester's line the pad cannot take is named, and the game plays on.
start
printf 'plug\nstick 1 2 3\npress x\n' >> pad.txt
sleep 1
quit
check "bad virtual pad lines are named on stderr" \
    test "$(grep -c '^zumble: virtual pad line [23]: cannot apply' err.txt)" -eq 2
finish
