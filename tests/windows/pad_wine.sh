#!/usr/bin/env bash
# zumble.exe with an XInput controller, under Wine: a tester's xinput1_4.dll
# (test_xinput.cpp, put into the prefix's system folder, where the game looks for XInput)
# reports one pad steered by pad_driver.py from the trace, through a whole 10-fly round
# to the results board and back, as the desktop's window test does with SDL. The round's
# replay verifies in zumble.exe and in the Linux game to the time hiscoa.sav holds. Then a
# copy of the DLL in the game's folder and no pad in the system: nothing moves the cursor.
set -u
. "$(dirname "$0")/wine.bash" "$@"
start_wine
DLL="$BUILD_WINDOWS/test-xinput/xinput1_4.dll"
[ -f "$DLL" ] || { echo "FAIL: $DLL is missing (the Windows build makes it)"; exit 1; }
SYSTEM="$WINEPREFIX/drive_c/windows/system32"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;xinput1_4=n"

game_folder game
cd game
cp "$DLL" "$SYSTEM/xinput1_4.dll"
: > pad.txt
xdotool mousemove 0 0  # the real pointer away from the window: only the pad moves the cursor
start_window 400 --window --scale 1
[ -n "$win" ] || { echo "FAIL: no window"; exit 1; }
focus() {  # a pad steers the game only while its window has the focus
    xdotool windowfocus --sync "$win" 2> /dev/null
    check "the title shows" wait_for t.txt scene 2
    xdotool windowfocus --sync "$win" 2> /dev/null  # again, once the window is up
    sleep 1
}
focus
python3 "$SRC/tests/e2e/pad_driver.py" t.txt pad.txt round 600 | tee driver.txt
check "the pad's round: every check of the driver passed" test "${PIPESTATUS[0]}" -eq 0
for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
kill $GAME 2> /dev/null
wait $GAME
check "B on the title ends the game with exit 0" test $? -eq 0
GAME=""
check "no complaint on stderr" test ! -s err.txt
want=$(entry hiscoa.sav 0)
frames=$(u32 replays/last.zrp 52)
out=$(timeout 60 "$WINE" zumble.exe --verify 'replays\last.zrp' 2>&1 | tr -d '\r')
check "zumble.exe verifies the pad round's replay to the time hiscoa.sav holds ($want): '$out'" \
    test "${out%% round=*}" = "ok flies=10 speed=1 time_ms=$want frames=$frames"
out=$("$LINUX_ZUMBLE" --verify replays/last.zrp 2>&1)
check "and so does the Linux game: '$out'" test "${out%% round=*}" = "ok flies=10 speed=1 time_ms=$want frames=$frames"

# The game takes XInput from the system's folder only: the tester's DLL beside the game,
# plugged in and at full tilt, and Wine's own XInput with no pad in the system.
rm -f "$SYSTEM/xinput1_4.dll"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES%;xinput1_4=n}"
cp "$DLL" .
rm -f t.txt
printf 'plug\nstick 32767 0\n' > pad.txt
start_window 300 --window --scale 1
focus
first=$(head -1 t.txt | field cursor)
for _ in $(seq 100); do [ "$(cat t.txt | wc -l)" -ge 150 ] && break; sleep 0.1; done
check "a DLL in the game's folder is not taken for XInput: the cursor stays (at $first, then $(last t.txt cursor))" \
    test "$(last t.txt cursor)" = "$first"
xdotool key --window "$win" Escape 2> /dev/null
for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
kill $GAME 2> /dev/null
wait $GAME
GAME=""
finish
