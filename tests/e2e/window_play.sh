#!/usr/bin/env bash
# A player at a real window under Xvfb: real mouse and key events (xdotool) take the game
# from the title through mode select into a round and back out, and quit. Screenshots of
# the window (xwd) must show each scene's pictures where their rectangles put them, at
# twice the size; Alt+Enter takes the title to full screen and back, where the picture and
# the mouse follow. All of it on both ways of showing the picture (the window's pixels
# written directly, and SDL's renderer). Skipped (77) only where Xvfb cannot start.
set -u
. "$(dirname "$0")/common.bash"
for tool in Xvfb xdotool xwd python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
GAME=""
start_xvfb 1600x1200x24
export SDL_AUDIODRIVER=dummy
CHECK="python3 $SRC/tests/e2e/window_check.py"
# Full screen needs a window manager to size the window.
WM=""
if command -v evilwm > /dev/null; then
    evilwm -fn fixed > wm.log 2>&1 &
    WM=$!
    trap 'kill $XVFB $WM ${GAME:-} 2>/dev/null; rm -rf "$WORK"' EXIT
    sleep 0.5
fi

# On the game's window $win:
shot() { xwd -silent -id "$win" -out "$1.xwd"; }
# click X Y: a real click at game position (X, Y) of the doubled window.
click() { xdotool mousemove --window "$win" $(($1 * 2 + 1)) $(($2 * 2 + 1)) sleep 0.2 click 1 sleep 0.4; }
key() { xdotool key --window "$win" "$1"; sleep 0.6; }
scene() { tail -1 t.txt | field scene; }

play() {  # the whole walk on one way of showing the picture
    local path=$1
    export ZUMBLE_PRESENT=$path
    rm -f t.txt hiscoa.sav error.txt
    "$ZUMBLE" --window --scale 2 --trace t.txt 2> err.txt &
    GAME=$!
    win=$(find_window)
    [ -n "$win" ] || { fail "$path: no window"; kill $GAME; wait $GAME; GAME=""; return; }
    xdotool windowfocus --sync "$win" 2>/dev/null
    sleep 1.5

    # The title: the still sign at (149, 100), the quit entry at (286, 350). The cursor rests
    # away from them.
    xdotool mousemove --window "$win" 40 900
    sleep 0.5
    shot title
    check "$path: title sign where it belongs" $CHECK title.xwd bmp/title.bmp 255 2 0 0 340 124 149 100
    check "$path: quit entry where it belongs" $CHECK title.xwd bmp/title.bmp 255 2 122 132 192 149 286 350
    check "$path: on the title" test "$(scene)" = 2

    click 300 300
    xdotool mousemove --window "$win" 40 900
    sleep 0.5
    check "$path: start leads to mode select" test "$(scene)" = 5
    shot mode
    check "$path: speed caption 1 at (259, 180)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 402 0 524 43 259 180
    check "$path: digit three at (215, 64)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 170 0 196 43 215 64
    check "$path: start button at (174, 300)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 0 88 292 132 174 300

    click 125 84
    xdotool mousemove --window "$win" 40 900
    sleep 0.5
    shot ten
    check "$path: the left arrow sets ten flies: digit one at (220, 64)" $CHECK ten.xwd bmp/gamemode.bmp 106 2 155 0 170 43 220 64

    click 320 320
    sleep 1
    check "$path: start begins a round" test "$(scene)" = 8
    check "$path: a round of ten" test "$(tail -1 t.txt | field target)" = 10
    shot play
    check "$path: the play background" $CHECK play.xwd bmp/game.bmp 255 2 0 80 640 480 0 80 0.8
    check "$path: the swat-count label at (420, 16)" $CHECK play.xwd bmp/game.bmp 255 2 182 480 213 511 420 16

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
    check "$path: clicks reach the game (swings)" grep -q ' mouse=1 ' t.txt

    key Escape
    check "$path: Escape leaves the round for mode select" test "$(scene)" = 5
    check "$path: leaving the round wrote the best times" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332
    key Escape
    check "$path: Escape leads back to the title" test "$(scene)" = 2

    # Alt+Enter: full screen on the 1600x1200 screen, the picture at 2x in the middle, the
    # mouse mapped through the borders; Alt+Enter again: the window as it was.
    if [ -n "$WM" ]; then
        xdotool key --window "$win" alt+Return
        sleep 1.5
        xdotool mousemove --window "$win" 5 5
        sleep 0.5
        shot full
        check "$path: full screen, the title sign at 2x in the middle" $CHECK full.xwd bmp/title.bmp 255 2 0 0 340 124 149 100 0.9 160 120
        xdotool mousemove --window "$win" $((160 + 300 * 2 + 1)) $((120 + 300 * 2 + 1)) sleep 0.2 click 1 sleep 0.6
        check "$path: full screen, a click on start reaches mode select" test "$(scene)" = 5
        key Escape
        xdotool key --window "$win" alt+Return
        sleep 1.5
        xdotool mousemove --window "$win" 40 900
        sleep 0.5
        shot back
        check "$path: back in the window, the quit entry at 2x" $CHECK back.xwd bmp/title.bmp 255 2 122 132 192 149 286 350
    else
        echo "note: no window manager (evilwm), full screen not tried"
    fi
    click 300 355
    for _ in $(seq 50); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
    kill -0 $GAME 2>/dev/null && kill -KILL $GAME
    wait $GAME
    check "$path: the quit entry ends the game with exit 0" test $? -eq 0
    GAME=""
    check "$path: error.txt says every file loaded" grep -q "Not Erorr" error.txt
    check "$path: no complaint on stderr" test ! -s err.txt
}

play surface
play renderer
finish
