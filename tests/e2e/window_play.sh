#!/usr/bin/env bash
# A player at a real window under Xvfb: real mouse and key events (xdotool) take the game
# from the title through mode select into a round and back out, and quit. Screenshots of
# the window (xwd) must show each scene's pictures where their rectangles put them, at
# twice the size. Skipped (77) only where Xvfb cannot start.
set -u
. "$(dirname "$0")/common.bash"
for tool in Xvfb xdotool xwd python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
GAME=""
start_xvfb 1600x1200x24
export SDL_AUDIODRIVER=dummy
CHECK="python3 $SRC/tests/e2e/window_check.py"

"$ZUMBLE" --window --scale 2 --trace t.txt 2> err.txt &
GAME=$!
win=$(find_window)
[ -n "$win" ] || { echo "FAIL: no window"; exit 1; }
xdotool windowfocus --sync "$win" 2>/dev/null
sleep 1.5

shot() { xwd -silent -id "$win" -out "$1.xwd"; }
# click X Y: a real click at game position (X, Y) of the doubled window.
click() { xdotool mousemove --window "$win" $(($1 * 2 + 1)) $(($2 * 2 + 1)) sleep 0.2 click 1 sleep 0.4; }
key() { xdotool key --window "$win" "$1"; sleep 0.6; }
scene() { tail -1 t.txt | field scene; }

# The title: the still sign at (149, 100), the quit entry at (286, 350). The cursor rests
# away from them.
xdotool mousemove --window "$win" 40 900
sleep 0.5
shot title
check "title sign where it belongs" $CHECK title.xwd bmp/title.bmp 255 2 0 0 340 124 149 100
check "quit entry where it belongs" $CHECK title.xwd bmp/title.bmp 255 2 122 132 192 149 286 350
check "on the title" test "$(scene)" = 2

click 300 300
xdotool mousemove --window "$win" 40 900
sleep 0.5
check "start leads to mode select" test "$(scene)" = 5
shot mode
check "speed caption 1 at (259, 180)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 402 0 524 43 259 180
check "digit three at (215, 64)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 170 0 196 43 215 64
check "start button at (174, 300)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 0 88 292 132 174 300

click 125 84
xdotool mousemove --window "$win" 40 900
sleep 0.5
shot ten
check "the left arrow sets ten flies: digit one at (220, 64)" $CHECK ten.xwd bmp/gamemode.bmp 106 2 155 0 170 43 220 64

click 320 320
sleep 1
check "start begins a round" test "$(scene)" = 8
check "a round of ten" test "$(tail -1 t.txt | field target)" = 10
shot play
check "the play background" $CHECK play.xwd bmp/game.bmp 255 2 0 80 640 480 0 80 0.8
check "the swat-count label at (420, 16)" $CHECK play.xwd bmp/game.bmp 255 2 182 480 213 511 420 16

# Swat at the oldest fly a few times, as a player would.
for _ in 1 2 3 4 5 6; do
    fly=$(tail -1 t.txt | sed -n 's/.* fly=\([-0-9]*\),\([-0-9]*\).*/\1 \2/p')
    if [ -n "$fly" ]; then
        set -- $fly
        x=$(( $1 + 1 )); y=$(( $2 + 1 ))
        [ $x -lt 0 ] && x=0; [ $x -gt 639 ] && x=639; [ $y -lt 0 ] && y=0; [ $y -gt 479 ] && y=479
        xdotool mousemove --window "$win" $((x * 2)) $((y * 2)) mousedown 1 sleep 0.1 mouseup 1
    fi
    sleep 0.5
done
check "clicks reach the game (swings)" grep -q ' mouse=1 ' t.txt

key Escape
check "Escape leaves the round for mode select" test "$(scene)" = 5
check "leaving the round wrote the best times" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332
key Escape
check "Escape leads back to the title" test "$(scene)" = 2
click 300 355
for _ in $(seq 50); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
wait $GAME
check "the quit entry ends the game with exit 0" test $? -eq 0
GAME=""
check "error.txt says every file loaded" grep -q "Not Erorr" error.txt
check "no complaint on stderr" test ! -s err.txt
finish
