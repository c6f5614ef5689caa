#!/usr/bin/env bash
# A player at a real window under Xvfb, with a real ALSA sound device that needs no sound
# card: real mouse and key events (xdotool) take the game from the title through mode
# select into a round and back out, and quit. Screenshots of the window (xwd) must show
# each scene's pictures where their rectangles put them, at twice the size, and the
# sound must reach the device; Alt+Enter takes the title to full screen and back, where
# the picture and the mouse follow. All of it on both ways of showing the picture (the
# window's pixels written directly, and SDL's renderer). Then a window start and a
# headless start with a sound file missing must write the same error.txt. Skipped (77)
# only where Xvfb cannot start.
set -u
. "$(dirname "$0")/common.bash"
for tool in Xvfb xdotool xwd python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
GAME=""
SINK=""
WM=""
start_xvfb 1600x1200x24
trap 'kill $XVFB ${WM:-} ${GAME:-} ${SINK:-} 2>/dev/null; rm -rf "$WORK"' EXIT
# Full screen needs a window manager to size the window.
if command -v evilwm > /dev/null; then
    evilwm -fn fixed > wm.log 2>&1 &
    WM=$!
    sleep 0.5
fi

# The sound device: ALSA's null device behind its file plugin, which copies every sample
# played into a pipe that alsa_sink.py drains at a card's pace (22050 Hz, 16-bit stereo).
# The bare null device would take samples as fast as they come, and the game's audio
# thread would spin. ALSA_CONFIG_PATH keeps the machine's own ALSA set-up out of it.
mkfifo pcm.fifo
cat > asound.conf <<CONF
pcm.!default {
    type file
    slave.pcm { type null }
    file "$WORK/pcm.fifo"
    format "raw"
}
CONF
export SDL_AUDIODRIVER=alsa ALSA_CONFIG_PATH=$WORK/asound.conf
CHECK="python3 $SRC/tests/e2e/window_check.py"

# On the game's window $win:
shot() { xwd -silent -id "$win" -out "$1.xwd"; }
# click X Y: a real click at game position (X, Y) of the doubled window, once the game has
# seen the cursor there.
click() {
    xdotool mousemove --window "$win" $(($1 * 2 + 1)) $(($2 * 2 + 1))
    wait_until 30 trace_says t.txt cursor "$1,$2"
    xdotool click --window "$win" 1
    wait_frames t.txt 3
}
key() { xdotool key --window "$win" "$1"; wait_frames t.txt 3; }
scene() { tail -1 t.txt | field scene; }
# The game is in scene N (up to 20 s: a key or a click is answered within a few frames).
in_scene() { wait_until 20 trace_says t.txt scene "$1"; }
# The cursor rests at (20, 450), away from what the shots look at, and the picture shows it.
rest() {
    xdotool mousemove --window "$win" 40 900
    wait_until 30 trace_says t.txt cursor 20,450
    wait_frames t.txt 3
}
size() { xdotool getwindowgeometry --shell "$win" | sed -n 's/^\(WIDTH\|HEIGHT\)=//p' | paste -sd x; }
size_is() { [ "$(size)" = "$1" ]; }
gone() { ! kill -0 "$1" 2>/dev/null; }
sized() {  # sized WxH: true once the window has that size (a window manager takes a moment)
    wait_until 20 size_is "$1" && return 0
    echo "window is $(size), not $1"
    return 1
}

play() {  # the whole walk on one way of showing the picture
    local path=$1
    export ZUMBLE_PRESENT=$path
    rm -f t.txt hiscoa.sav error.txt sink.txt
    python3 "$SRC/tests/e2e/alsa_sink.py" pcm.fifo 88200 > sink.txt &
    SINK=$!
    "$ZUMBLE" --window --scale 2 --trace t.txt 2> err.txt &
    GAME=$!
    win=$(find_window)
    [ -n "$win" ] || { fail "$path: no window"; kill $GAME $SINK; wait $GAME $SINK; GAME=""; SINK=""; return; }
    xdotool windowfocus --sync "$win" 2>/dev/null
    # The sign has come to rest a second and a half into the title.
    wait_until 60 frame_reached t.txt 90 || fail "$path: the title did not run 90 frames"

    # The title: the still sign at (149, 100), the quit entry at (286, 350). The cursor rests
    # away from them.
    rest
    shot title
    check "$path: title sign where it belongs" $CHECK title.xwd bmp/title.bmp 255 2 0 0 340 124 149 100
    check "$path: quit entry where it belongs" $CHECK title.xwd bmp/title.bmp 255 2 122 132 192 149 286 350
    check "$path: on the title" test "$(scene)" = 2

    click 300 300
    check "$path: start leads to mode select" in_scene 5
    rest
    shot mode
    check "$path: speed caption 1 at (259, 180)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 402 0 524 43 259 180
    check "$path: digit three at (215, 64)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 170 0 196 43 215 64
    check "$path: start button at (174, 300)" $CHECK mode.xwd bmp/gamemode.bmp 106 2 0 88 292 132 174 300

    click 125 84
    rest
    shot ten
    check "$path: the left arrow sets ten flies: digit one at (220, 64)" $CHECK ten.xwd bmp/gamemode.bmp 106 2 155 0 170 43 220 64

    click 320 320
    check "$path: start begins a round" in_scene 8
    wait_frames t.txt 30
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
        wait_frames t.txt 30
    done
    check "$path: clicks reach the game (swings)" grep -q ' mouse=1 ' t.txt

    key Escape
    check "$path: Escape leaves the round for mode select" in_scene 5
    check "$path: leaving the round wrote the best times" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332
    key Escape
    check "$path: Escape leads back to the title" in_scene 2

    # Alt+Enter: full screen on the 1600x1200 screen, the picture at 2x in the middle, the
    # mouse mapped through the borders; Alt+Enter again: the window as it was.
    if [ -n "$WM" ]; then
        xdotool key --window "$win" alt+Return
        sized 1600x1200 || fail "$path: Alt+Enter did not fill the screen"
        xdotool mousemove --window "$win" 5 5
        wait_frames t.txt 10
        shot full
        check "$path: full screen, the title sign at 2x in the middle" $CHECK full.xwd bmp/title.bmp 255 2 0 0 340 124 149 100 0.9 160 120
        xdotool mousemove --window "$win" $((160 + 300 * 2 + 1)) $((120 + 300 * 2 + 1))
        wait_until 30 trace_says t.txt cursor 300,300
        xdotool click --window "$win" 1
        check "$path: full screen, a click on start reaches mode select" in_scene 5
        key Escape
        in_scene 2
        xdotool key --window "$win" alt+Return
        sized 1280x960 || fail "$path: Alt+Enter did not give the window back"
        rest
        shot back
        check "$path: back in the window, the quit entry at 2x" $CHECK back.xwd bmp/title.bmp 255 2 122 132 192 149 286 350
    else
        echo "note: no window manager (evilwm), full screen not tried"
    fi
    click 300 355
    wait_until 30 gone $GAME
    kill -0 $GAME 2>/dev/null && kill -KILL $GAME
    wait $GAME
    check "$path: the quit entry ends the game with exit 0" test $? -eq 0
    GAME=""
    check "$path: error.txt says every file loaded" grep -q "Not Erorr" error.txt
    check "$path: the ALSA device opened (no 'no audio device')" eval '! grep -q "no audio device" err.txt'
    check "$path: no complaint on stderr" test ! -s err.txt
    # The device closed with the game; the sink has told what it received.
    wait_until 30 gone $SINK
    kill $SINK 2>/dev/null
    wait $SINK
    SINK=""
    echo "$path: sound device received: $(cat sink.txt)"
    check "$path: the sound reached the device, not only silence" \
        awk -F'[= ]' '{ exit !($2 > 0 && $4 > 0) }' sink.txt
}

play surface
play renderer
unset ZUMBLE_PRESENT

# A window start restores nothing: with a sound missing it logs the same codes as a
# headless start, byte for byte (a copy of the data, without wave/ok1.wav).
export SDL_AUDIODRIVER=dummy
mkdir missing
cp -r "$SRC/bmp" "$SRC/wave" missing/
rm missing/wave/ok1.wav
(cd missing && "$ZUMBLE" --headless --frames 30 > /dev/null 2>&1)
mv missing/error.txt headless-error.txt
(cd missing && exec "$ZUMBLE" --window --trace t.txt 2> err-missing.txt) &
GAME=$!
win=$(find_window)
check "the window shows with a sound missing" test -n "$win"
# Focus comes to the window, as a window manager gives it when the window appears.
[ -n "$win" ] && xdotool windowfocus --sync "$win" 2>/dev/null
wait_until 30 frame_reached missing/t.txt 30
[ -n "$win" ] && xdotool key --window "$win" Escape
wait_until 30 gone $GAME
kill -TERM $GAME 2>/dev/null
wait $GAME
GAME=""
check "headless start: ERROR_1 once, for ok1.wav" test "$(grep -c $'^ERROR_1\r$' headless-error.txt)" = 1
check "window start and headless start write the same error.txt" cmp missing/error.txt headless-error.txt

# Remembered display: each start in a fresh game folder's copy, quit from the title.
mkdir remember
ln -s "$SRC/bmp" remember/bmp
ln -s "$SRC/wave" remember/wave
start() {  # start [options]: the game in remember/, its window in $win
    rm -f remember/t.txt
    (cd remember && exec "$ZUMBLE" --trace t.txt "$@" 2> ../err-remember.txt) &
    GAME=$!
    win=$(find_window)
    [ -n "$win" ] && xdotool windowfocus --sync "$win" 2>/dev/null
    wait_until 30 frame_reached remember/t.txt 20
    # The focus again once the window is up, so that keys reach it as a player's would.
    [ -n "$win" ] && xdotool windowfocus --sync "$win" 2>/dev/null
    wait_frames remember/t.txt 10
}
quit() {  # Escape on the title ends the game
    [ -n "$win" ] && xdotool key --window "$win" Escape
    wait_until 30 gone $GAME
    kill -TERM $GAME 2>/dev/null
    wait $GAME
    GAME=""
}
start --window --scale 1
check "--window --scale 1: a 640x480 window" sized 640x480
xdotool windowsize --sync "$win" 1300 1000 2>/dev/null
wait_until 20 size_is 1300x1000
wait_frames remember/t.txt 10
quit
check "the resized window is kept as a 2x window" grep -qx 'scale=2' remember/display.ini
check "and as a window" grep -qx 'display=window' remember/display.ini
start
check "without options the game starts in a 2x window" sized 1280x960
check "on the title" test "$(tail -1 remember/t.txt | field scene)" = 2
quit
start --scale 1
check "--scale 1 wins for its run" sized 640x480
quit
start
check "left in a 1x window, the game starts in one" sized 640x480
if [ -n "$WM" ]; then
    # Full screen is told by the window's size, which needs the window manager.
    xdotool key --window "$win" alt+Return
    check "Alt+Enter: full screen" sized 1600x1200
    quit
    check "full screen is kept" grep -qx 'display=fullscreen' remember/display.ini
    start
    check "without options the game starts full screen" sized 1600x1200
    xdotool key --window "$win" alt+Return
    check "and Alt+Enter gives back the 1x window" sized 640x480
    quit
    start --fullscreen
    check "--fullscreen wins for its run" sized 1600x1200
    quit
    for damage in 'display=window\nscale=99' '\x89PNG\r\n\x00\x00' 'scale=2'; do
        printf "$damage" > remember/display.ini
        start
        check "a damaged display.ini ($damage) gives the defaults: full screen, no complaint" \
            eval 'sized 1600x1200 && test ! -s err-remember.txt'
        check "the game still plays ($damage)" test "$(tail -1 remember/t.txt | field scene)" = 2
        quit
    done
else
    quit
    echo "note: no window manager (evilwm), full screen not remembered"
fi
printf 'display=window\nscale=1\n' > kept.ini
# Headless runs: the same with or without the file, which they leave alone.
cp kept.ini remember/display.ini
touch -d '2001-01-01' remember/display.ini
(cd remember && "$ZUMBLE" --headless --frames 60 > /dev/null 2>&1)
check "a headless run leaves display.ini as it was" \
    test "$(cmp kept.ini remember/display.ini && stat -c %Y remember/display.ini)" = "$(date -d 2001-01-01 +%s)"
rm remember/display.ini
(cd remember && "$ZUMBLE" --headless --frames 60 > /dev/null 2>&1)
check "a headless run does not write display.ini" test ! -e remember/display.ini
finish
