#!/usr/bin/env bash
# The replay viewer in zumble.exe under Wine, driven by real X input: Space, Home and Right
# land on frame 300 (the Linux game's headless trace of that frame), the overlay is drawn,
# with it off (O) the window shows the Linux game's own shot of the frame, a click on the
# seek bar lands on the frame under it, and Escape leaves.
set -u
. "$(dirname "$0")/wine.bash"
start_wine
TOOL="$SRC/tests/e2e/shot_tool.py"
R="$SRC/tests/replays/10-flies-speed-2.zrp"
# The round was left from its board: the viewer leaves out the black frame of the leave
# and shows one frame fewer than the file holds.
F=$(($(u32 "$R" 52) - 1))

"$LINUX_ZUMBLE" --headless --replay "$R" --trace h.trace > /dev/null 2>&1
H=$PWD/h.trace
h0=$(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' h.trace | cut -d' ' -f1 | cut -d= -f2)
line_of() { sed -n "$((h0 + $1))p" "$H" | sed 's/^frame=[0-9]* //'; }
CLICKED=$(awk -v n="$F" 'BEGIN { print int((168 - 16) / 608 * (n - 1) + 0.5) }')
# (A script's frames go up: the bar's frame, at a quarter, comes before 300.)
printf '%s\n' "$((h0 + CLICKED)) shot fclick.png" "$((h0 + 300)) shot f300.png" > shots.txt
"$LINUX_ZUMBLE" --headless --replay "$R" --script shots.txt > /dev/null 2>&1

game_folder game
cp "$R" game/r.zrp
cd game
start_window 300 --window --scale 1 --replay r.zrp
[ -n "$win" ] || { echo "FAIL: no window"; exit 1; }
at() {
    local want
    want=$(line_of "$1")
    for _ in $(seq 600); do
        [ "$(tail -1 t.txt 2>/dev/null | tr -d '\r' | sed 's/^frame=[0-9]* //')" = "$want" ] && break
        sleep 0.1
    done
    check "$2: zumble.exe stands on frame $1" test "$(tail -1 t.txt | tr -d '\r' | sed 's/^frame=[0-9]* //')" = "$want"
}
shot_until() {
    local name=$1
    shift
    for _ in $(seq 60); do
        xwd -silent -id "$win" -out "$name.xwd" 2>/dev/null && "$@" "$name.xwd" > /dev/null && return 0
        sleep 0.2
    done
    return 1
}
same_as() { python3 "$TOOL" same "$2" "$1" 1 0 0; }
overlay_over() { [ "$(python3 "$TOOL" differ "$2" "$1" 1 0 0 0 11)" -gt 2000 ]; }

xdotool key --window "$win" space Home Right
at 300 "Space, Home, Right"
check "zumble.exe draws the overlay over frame 300" shot_until over overlay_over ../f300.png
xdotool key --window "$win" o
check "with the overlay off, zumble.exe shows the Linux game's shot of frame 300" shot_until plain same_as ../f300.png
xdotool key --window "$win" o
xdotool mousemove --window "$win" 168 466 click 1
at "$CLICKED" "a click on the seek bar"
xdotool key --window "$win" o
check "the click's frame is the Linux game's shot" shot_until plain-click same_as ../fclick.png
xdotool key --window "$win" Escape
for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
wait $GAME
check "Escape leaves zumble.exe's viewer (exit $?)" test $? -eq 0
GAME=""
check "watching wrote nothing" test ! -e hiscoa.sav -a ! -e replays
finish
