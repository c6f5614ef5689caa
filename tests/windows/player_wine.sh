#!/usr/bin/env bash
# zumble.exe, the player's build (the stand-in with the Win32 backend), under Wine:
#   1. headless, a scripted and autoplayed 30-fly round gives the trace, sound log,
#      recording, shot, best times and error report of the Linux game, byte for byte,
#      in a folder named in any language too; a later save replaces the file in one step;
#   2. in a window driven by xdotool: the title (a screenshot), mode select, a round of
#      ten, Escape three times, exit 0 and both files written; the close button and a
#      log-off end the game as well;
#   2b. the window is shown as the player left it: a run quit in a 2x window starts in
#      a 2x window without options, a damaged display.ini gives full screen, silently;
#   3. without wave\hit1.wav, the same error report as the Linux game's;
#   4. where the data folder takes no new file, the game's own files go to
#      %LOCALAPPDATA%\Zumble and the data is still read from the folder.
set -u
. "$(dirname "$0")/wine.bash" "$@"
start_wine
CHECK="python3 $SRC/tests/e2e/window_check.py"

# The pixels of an 8-bit RGB PNG, whatever its writer's compression and row filters,
# to compare shots made by different PNG writers.
pixels() {
    python3 -c "
import struct, sys, zlib
d = open(sys.argv[1], 'rb').read(); i = 8; raw = b''
w, h = struct.unpack('>II', d[16:24])
while i < len(d):
    n = struct.unpack('>I', d[i:i + 4])[0]
    if d[i + 4:i + 8] == b'IDAT': raw += d[i + 8:i + 8 + n]
    i += 12 + n
raw = zlib.decompress(raw); stride = 3 * w; prev = bytearray(stride); out = bytearray()
for y in range(h):
    f = raw[y * (stride + 1)]; row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride):
        a = row[x - 3] if x >= 3 else 0; b = prev[x]; c = prev[x - 3] if x >= 3 else 0
        if f == 1: row[x] = (row[x] + a) & 255
        elif f == 2: row[x] = (row[x] + b) & 255
        elif f == 3: row[x] = (row[x] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            row[x] = (row[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    out += row; prev = row
sys.stdout.buffer.write(d[16:24] + bytes(out))" "$1"
}

# 0. The command line, as on Linux: a bad option is named and ends the run with code 2
#    before anything is written; --version answers on stdout.
data_folder cli
cp "$BUILD_WINDOWS/zumble.exe" "$BUILD_WINDOWS/zumble-ddraw.exe" cli/
(cd cli && timeout 60 "$WINE" zumble.exe --bogus > out.txt 2> err.txt)
check "a bad option: exit 2" test $? -eq 2
check "a bad option: named on stderr" grep -q "zumble: unknown option '--bogus'" cli/err.txt
check "a bad option: nothing written" test ! -e cli/error.txt -a ! -e cli/hiscoa.sav
(cd cli && timeout 60 "$WINE" zumble.exe --version > out.txt 2> err.txt)
check "--version: exit 0 and the version" grep -q "^zumble [0-9]" cli/out.txt
(cd cli && timeout 60 "$WINE" zumble-ddraw.exe --headless > out.txt 2> err.txt)
check "zumble-ddraw.exe refuses what only zumble.exe can do, with code 2" test $? -eq 2
check "zumble-ddraw.exe says why" grep -q "zumble-ddraw: --headless needs zumble.exe" cli/err.txt

# 1. Headless: the same run on both systems.
cat > round.txt <<'S'
0 move 300 300
3 click
40 move 320 320
41 click
300 shot play.png
S
data_folder linux
game_folder win
ARGS="--headless --autoplay --script ../round.txt --frames 1500 --time 1234567 --trace t.txt --sound-log s.txt --audio-out a.wav"
(cd linux && "$LINUX_ZUMBLE" $ARGS > out.txt 2> err.txt)
check "Linux: headless run exits 0" test $? -eq 0
(cd win && timeout 300 "$WINE" zumble.exe $ARGS > out.txt 2> err.txt)
check "Windows: headless run exits 0" test $? -eq 0
check "the run played a 30-fly round to its end" grep -q ' swatted=30 target=30 ' linux/t.txt
for f in t.txt s.txt a.wav hiscoa.sav error.txt; do
    check "headless $f is the Linux game's, byte for byte" cmp linux/$f win/$f
done
check "the shot's pixels are the Linux game's" cmp <(pixels linux/play.png) <(pixels win/play.png)
# The next run's save replaces hiscoa.sav in one step: a new file (another inode, as
# Linux sees Wine's files), not the old one rewritten in place, which a crash could cut.
before=$(stat -c %i win/hiscoa.sav)
(cd win && timeout 120 "$WINE" zumble.exe --headless --frames 5 > out2.txt 2> err2.txt)
check "a second run's save replaces hiscoa.sav with a new file" test "$(stat -c %i win/hiscoa.sav)" != "$before"
check "a second run's save leaves no temporary file" test ! -e win/hiscoa.sav.tmp

# The tester's files in a folder whose name is not ASCII, the script, the sound log and a
# shot named in a script that no ANSI code page holds: the same files as the Linux game's.
game_folder "Zoë"
sed 's/shot play.png/shot ζ-play.png/' round.txt > "Zoë/ζ-round.txt"
(cd "Zoë" && timeout 300 "$WINE" zumble.exe --headless --autoplay --script "ζ-round.txt" --frames 1500 \
    --time 1234567 --trace t.txt --sound-log "ζ-s.txt" --audio-out a.wav > out.txt 2> err.txt)
check "in a folder named Zoë: exit 0" test $? -eq 0
check "in a folder named Zoë: no complaint on stderr" test ! -s "Zoë/err.txt"
check "in a folder named Zoë: the trace is the Linux game's" cmp linux/t.txt "Zoë/t.txt"
check "in a folder named Zoë: the sound log, named in Greek, is the Linux game's" cmp linux/s.txt "Zoë/ζ-s.txt"
check "in a folder named Zoë: the recording is the Linux game's" cmp linux/a.wav "Zoë/a.wav"
check "in a folder named Zoë: the shot, named in Greek, is the Linux game's" cmp <(pixels linux/play.png) <(pixels "Zoë/ζ-play.png")
check "in a folder named Zoë: the best times are the Linux game's" cmp linux/hiscoa.sav "Zoë/hiscoa.sav"

# 2. A window, driven by real X input.
game_folder game
cd game
start_window 300 --window --scale 1
[ -n "$win" ] || { echo "FAIL: no window"; exit 1; }
check "the title shows" wait_for t.txt scene 2
click() { xdotool mousemove --window "$win" "$1" "$2" sleep 0.2 click 1 sleep 0.3; }
xdotool mousemove --window "$win" 600 470
sleep 1
xwd -silent -id "$win" -out title.xwd
check "title sign in its colours" $CHECK title.xwd bmp/title.bmp 255 1 0 0 340 124 149 100
check "quit entry in its colours" $CHECK title.xwd bmp/title.bmp 255 1 122 132 192 149 286 350
# Alt+Enter: full screen over the 1600x1200 screen, the picture doubled (1280x960) in the
# middle, so the screen's centre is the game's (320, 240); and back to the window.
xdotool key --window "$win" alt+Return 2> /dev/null
sleep 1
check "Alt+Enter covers the screen" test "$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')" = 1600x1200
xdotool mousemove 800 600 sleep 0.5
check "the mouse maps through the letterbox" test "$(last t.txt cursor)" = 320,240
xdotool mousemove 100 60 sleep 0.5
check "the black bars count as the picture's edge" test "$(last t.txt cursor)" = 0,0
xdotool key --window "$win" alt+Return 2> /dev/null
sleep 1
check "Alt+Enter again gives the window back" test "$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')" = 640x480
click 320 308
check "start leads to mode select" wait_for t.txt scene 5
click 125 84
click 320 320
check "start begins a round" wait_for t.txt scene 8
check "a round of ten" test "$(last t.txt target)" = 10
# Swat at the oldest fly a few times, as a player would.
for _ in 1 2 3 4 5 6 7 8; do
    fly=$(tail -1 t.txt | sed -n 's/.* fly=\([-0-9]*\),\([-0-9]*\).*/\1 \2/p')
    if [ -n "$fly" ]; then
        set -- $fly
        x=$(($1 + 1)); y=$(($2 + 1))
        [ $x -lt 0 ] && x=0; [ $x -gt 639 ] && x=639; [ $y -lt 0 ] && y=0; [ $y -gt 479 ] && y=479
        xdotool mousemove --window "$win" $x $y mousedown 1 sleep 0.1 mouseup 1
    fi
    sleep 0.4
done
check "clicks reach the game (swings)" grep -q ' mouse=1 ' t.txt
xdotool key --window "$win" Escape 2> /dev/null
check "Escape leaves the round for mode select" wait_for t.txt scene 5
xdotool key --window "$win" Escape 2> /dev/null
check "Escape leads back to the title" wait_for t.txt scene 2
xdotool key --window "$win" Escape 2> /dev/null
wait_exit
check "Escape on the title quits with exit 0" test $? -eq 0
check "the best times were written" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332
check "each save replaced the old table (MoveFileEx), no temporary file left" test ! -e hiscoa.sav.tmp
check "error.txt says every file loaded" grep -q "Not Erorr" error.txt
check "no complaint on stderr (the wave-out device opened)" test ! -s err.txt || sed 's/^/  stderr: /' err.txt | head -20
# Measured past the first 30 frames, over at least 60 more: fewer is no measure at all.
fps=$(awk -F'[ =]' 'NR==30{f=$2; t=$4} END{if (NR >= 90 && $4 > t) printf "%d", ($2 - f) * 1000 / ($4 - t)}' t.txt)
check "frames are paced: $fps per second" test "${fps:-999}" -le 62
cd "$WORK"

# The window's close button (the window manager's WM_DELETE_WINDOW, which Wine turns into
# WM_CLOSE) ends the game as the game's own WM_CLOSE does: best times saved, exit 0.
game_folder closing
cd closing
start_window 120 --window --scale 1
check "close button: the title shows" wait_for t.txt scene 2
[ -n "$win" ] && python3 "$SRC/tests/e2e/close_window.py" "$win"
wait_exit
check "close button: exit 0" test $? -eq 0
check "close button: the best times were saved" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332
check "close button: error.txt written" grep -q "Not Erorr" error.txt
cd "$WORK"

# 2b. As the player left it (display.ini beside the best times).
game_folder remember
cd remember
geometry() { xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p'; }
run_until_title() {  # run_until_title [options]: the game up on its title, its window in $win
    start_window 120 "$@"
    wait_for t.txt scene 2
    sleep 0.5
}
quit_from_title() {
    [ -n "$win" ] && xdotool key --window "$win" Escape 2> /dev/null
    wait_exit
}
run_until_title --window --scale 2
check "--window --scale 2: a 1280x960 window" test "$(geometry)" = 1280x960
quit_from_title
check "left in a 2x window: display.ini says so" \
    test "$(grep -x 'display=window' display.ini)$(grep -x 'scale=2' display.ini)" = "display=windowscale=2"
run_until_title
check "without options the game starts in a 2x window" test "$(geometry)" = 1280x960
quit_from_title
check "and exits 0" test $? -eq 0
printf '\x89PNG\r\n\x1a\n\x00\x00' > display.ini
run_until_title
check "a damaged display.ini gives the default, full screen" test "$(geometry)" = 1600x1200
check "a damaged display.ini is no complaint to the player" test ! -s err.txt
quit_from_title
check "the game left full screen is kept so" grep -qx 'display=fullscreen' display.ini
cd "$WORK"

# Logging off: Windows sends WM_ENDSESSION (wineboot --end-session does as well); the game
# ends as on the close button, best times saved, exit 0.
game_folder session
cd session
start_window 120 --window --scale 1
check "log-off: the title shows" wait_for t.txt scene 2
timeout 60 wineboot --end-session > /dev/null 2>&1
wait_exit
check "log-off: the game ends with exit 0" test $? -eq 0
check "log-off: the best times were saved" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332
check "log-off: error.txt written" grep -q "Not Erorr" error.txt
cd "$WORK"

# 3. Without wave\hit1.wav.
data_folder linux-nohit wave/hit1.wav
(cd linux-nohit && "$LINUX_ZUMBLE" --headless --frames 5 > out.txt 2>&1)
game_folder win-nohit wave/hit1.wav
(cd win-nohit && timeout 120 "$WINE" zumble.exe --headless --frames 5 > out.txt 2>&1)
check "without hit1.wav: the Linux game's report names it" grep -q ERROR_1 linux-nohit/error.txt
check "without hit1.wav: error.txt equals the Linux game's byte for byte" cmp linux-nohit/error.txt win-nohit/error.txt

# 4. A folder in the place of the game's write probe stands for a read-only folder (the
#    test runs as root, for whom permissions do not stop a write).
game_folder ro
mkdir ro/zumble-write-check.tmp
(cd ro && timeout 120 "$WINE" zumble.exe --headless --frames 5 --trace t.txt > out.txt 2> err.txt)
check "read-only data: exit 0" test $? -eq 0
mine=$(find "$WINEPREFIX/drive_c/users" -type d -path '*/AppData/Local/Zumble' | head -1)
check "read-only data: %LOCALAPPDATA%\\Zumble made" test -n "$mine"
check "read-only data: best times there" test "$(stat -c %s "$mine/hiscoa.sav" 2>/dev/null)" = 332
check "read-only data: error report there, every file loaded" grep -q "Not Erorr" "$mine/error.txt"
check "read-only data: nothing written beside the data" test ! -e ro/hiscoa.sav -a ! -e ro/error.txt
check "read-only data: the player is told where the files go" grep -q 'AppData.Local.Zumble' ro/err.txt
check "read-only data: the trace stays where it was asked for" test "$(wc -l < ro/t.txt)" -eq 5
finish
