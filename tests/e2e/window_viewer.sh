#!/usr/bin/env bash
# The replay viewer in a real window under Xvfb, driven by real key presses, a click and a
# drag on the seek bar (xdotool): every control lands on the frame it names (the window's
# trace shows that frame's line of a headless run of the same replay), the overlay is
# drawn over the picture, and with it off (O) the window shows exactly the game's own shot
# of that frame, from a headless run. Skipped (77) only where Xvfb, xdotool or xwd is missing.
set -u
. "$(dirname "$0")/common.bash"
for tool in Xvfb xdotool xwd python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
GAME=""
start_xvfb 1400x1100x24
export SDL_AUDIODRIVER=dummy
TOOL="$SRC/tests/e2e/shot_tool.py"
R="$SRC/tests/replays/1000-flies-speed-2.zrp"
# The round was left from its board: its file ends on the black frame of the leave, which
# the viewer leaves out. It shows F frames, the last its board.
F=$(($(u32 "$R" 52) - 1))

# --- the headless run: each round frame's trace line, and the game's own shots --------
"$ZUMBLE" --headless --replay "$R" --trace h.trace > /dev/null 2>&1 || fail "--headless --replay: exit $?"
# The flip (and trace line) of the round's frame 0.
h0=$(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' h.trace | cut -d' ' -f1 | cut -d= -f2)
line_of() { sed -n "$((h0 + $1))p" h.trace | sed 's/^frame=[0-9]* //'; }
# The bar's frame under game x (the bar runs from x 16 over 608 pixels).
bar_frame() { awk -v x="$1" -v n="$F" 'BEGIN { f = (x - 16) / 608; if (f < 0) f = 0; if (f > 1) f = 1; print int(f * (n - 1) + 0.5) }'; }
CLICKED=$(bar_frame 168)
DRAGGED=$(bar_frame 472)
LAST=$((F - 1))
for f in 600 "$CLICKED" "$DRAGGED" "$LAST"; do echo "$((h0 + f)) shot f$f.png"; done > shots.txt
"$ZUMBLE" --headless --replay "$R" --script shots.txt > /dev/null 2>&1 || fail "the headless shots: exit $?"
for f in 600 "$CLICKED" "$DRAGGED" "$LAST"; do [ -s "f$f.png" ] || fail "no headless shot of frame $f"; done

# --- the window ---------------------------------------------------------------------------
"$ZUMBLE" --window --scale 2 --replay "$R" --trace w.trace >w.out 2>w.err &
GAME=$!
win=$(find_window)
[ -n "$win" ] || { fail "no window"; finish; exit 1; }
xdotool windowfocus --sync "$win" 2>/dev/null
key() { xdotool key --window "$win" "$@"; }
# A key sent before the window takes input is lost: keys once frames are being drawn.
wait_until 30 frame_reached w.trace 5

# at FRAME WHAT: waits (60 s at most) until the window's last frame is FRAME's.
at() {
    local want
    want=$(line_of "$1")
    for _ in $(seq 600); do
        [ "$(tail -1 w.trace 2>/dev/null | sed 's/^frame=[0-9]* //')" = "$want" ] && break
        sleep 0.1
    done
    check "$2: the window stands on frame $1" test "$(tail -1 w.trace | sed 's/^frame=[0-9]* //')" = "$want"
}
# shot_until NAME CHECK...: takes window shots (NAME.xwd) until CHECK NAME.xwd succeeds (60 s).
shot_until() {
    local name=$1
    shift
    for _ in $(seq 60); do
        xwd -id "$win" -out "$name.xwd" 2>/dev/null && "$@" "$name.xwd" > /dev/null && return 0
        sleep 0.2
    done
    return 1
}
same_as() { python3 "$TOOL" same "$2" "$1" 2 0 0; }
# overlay_over GAME.png SHOT: the picture's top and bottom bands differ from the game's shot.
overlay_over() {
    [ "$(python3 "$TOOL" differ "$2" "$1" 2 0 0 0 11)" -gt 2000 ] &&
        [ "$(python3 "$TOOL" differ "$2" "$1" 2 0 0 446 480)" -gt 2000 ]
}
# The middle rows, where the keys' list shows: it covers more of them than any trail.
middle() { python3 "$TOOL" differ "$2" "$1" 2 0 0 200 280; }
help_over() { [ "$(middle "$@")" -gt $((WITHOUT_HELP + 20000)) ]; }
no_help_over() { [ "$(middle "$@")" -lt $((WITHOUT_HELP + 1000)) ]; }

key space                       # pause (wherever the round is)
key Home
at 0 "Home"
key Right
key Right
at 600 "Right twice (5 s each)"
check "the overlay is drawn over frame 600" shot_until over600 overlay_over f600.png
WITHOUT_HELP=$(middle f600.png over600.xwd)
key o
check "with the overlay off the window shows the game's own shot of frame 600" shot_until plain600 same_as f600.png
key o
key question
check "? shows the keys" shot_until help600 help_over f600.png
key question
check "? again hides them" shot_until nohelp600 no_help_over f600.png
key period
at 601 ". (one frame on)"
key comma
key comma
at 599 ", twice (one frame back each)"
key period
key shift+Right
at 2400 "Shift+Right (30 s on)"
key shift+Left
key Left
at 300 "Shift+Left and Left"
key End
at "$LAST" "End: the round's last picture"
key o
check "the last frame shown is the round's board, the game's own shot" shot_until plain-end same_as "f$LAST.png"
key o
key Home
at 0 "Home again"
# The speeds (0.25x to 4x and back to 1x) leave the frame where it is.
key plus plus plus minus minus minus minus minus minus plus plus
key period
at 1 "the speed keys, then ."

# A click on the bar, at a quarter of it (game x 168, the bar's middle row).
xdotool mousemove --window "$win" $((168 * 2 + 1)) $((466 * 2 + 1)) click 1
at "$CLICKED" "a click on the seek bar"
key o
check "the click's frame is the game's own shot" shot_until plain-click same_as "f$CLICKED.png"
key o
# A drag along the bar, from near its start to three quarters of it.
xdotool mousemove --window "$win" $((40 * 2 + 1)) $((466 * 2 + 1)) mousedown 1
for x in 100 200 300 400 500 472; do xdotool mousemove --window "$win" $((x * 2 + 1)) $((466 * 2 + 1)); done
xdotool mouseup 1
at "$DRAGGED" "a drag on the seek bar"
key o
check "the drag's frame is the game's own shot" shot_until plain-drag same_as "f$DRAGGED.png"
key o
check "and with the overlay on, it is drawn" shot_until over-drag overlay_over "f$DRAGGED.png"

# Playing on from there: every frame the window went through was one of plain playback's.
key space
n=$(wc -l <w.trace)
for _ in $(seq 300); do [ "$(wc -l <w.trace)" -gt $((n + 30)) ] && break; sleep 0.1; done
check "Space plays on" test "$(wc -l <w.trace)" -gt $((n + 30))
w0=$(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' w.trace | cut -d' ' -f1 | cut -d= -f2)
tail -n +"$w0" w.trace | sed 's/^frame=[0-9]* //' | sort -u >w.lines
tail -n +"$h0" h.trace | sed 's/^frame=[0-9]* //' | sort -u >h.lines
check "every frame the viewer went through is one of plain playback's ($(wc -l <w.lines) seen)" \
    test -z "$(comm -23 w.lines h.lines | head -3)"

key Escape
for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
if kill -0 $GAME 2>/dev/null; then
    fail "Escape did not leave the viewer"
    kill $GAME
fi
wait $GAME
check "the viewer left on Escape (exit $?)" test $? -eq 0
GAME=""
check "nothing went to stderr but notes: $(head -c 300 w.err)" test -z "$(grep -v '^zumble: no bmp/' w.err)"

# Standing still on its last frame the viewer flips no more, and still ends on SIGTERM.
"$ZUMBLE" --window --replay "$R" --trace t.trace >/dev/null 2>t.err &
GAME=$!
win=$(find_window)
[ -n "$win" ] || fail "no window for the last step: $(grep -v '^zumble: no bmp/' t.err | head -c 300)"
xdotool windowfocus --sync "$win" 2>/dev/null
# A key sent before the window takes input is lost: End once frames are being drawn.
wait_until 30 frame_reached t.trace 5
key End
last=$(line_of $((F - 1)))
for _ in $(seq 600); do
    [ "$(tail -1 t.trace 2>/dev/null | sed 's/^frame=[0-9]* //')" = "$last" ] && break
    sleep 0.1
done
check "End: the window stands on the last frame" test "$(tail -1 t.trace | sed 's/^frame=[0-9]* //')" = "$last"
kill -0 $GAME 2>/dev/null || fail "the viewer ended by itself: $(grep -v '^zumble: no bmp/' t.err | head -c 300)"
kill -TERM $GAME
for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
if kill -0 $GAME 2>/dev/null; then
    fail "SIGTERM did not end the viewer standing on its last frame"
    kill -KILL $GAME
fi
wait $GAME
check "the viewer standing still ended on SIGTERM (exit $?)" test $? -eq 0
GAME=""

# A replay's script takes shots only.
echo "5 click" >click.txt
"$ZUMBLE" --headless --replay "$R" --script click.txt >/dev/null 2>click.err
check "a replay's script with input is refused (exit $?)" test $? -eq 2
check "and says so" grep -q "its script takes only shots" click.err

finish
