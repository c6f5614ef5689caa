#!/usr/bin/env bash
# Replays across systems: zumble.exe under Wine verifies the corpus (replays recorded by
# the Linux game) to the results the Linux game gives; a round recorded by zumble.exe is
# the Linux game's replay byte for byte, and verifies natively to the time in the
# hiscoa.sav zumble.exe wrote; so does a round swatted with the real mouse in
# zumble.exe's window (its clock the real one); replaying in zumble.exe writes nothing.
set -u
. "$(dirname "$0")/wine.bash" "$@"
start_wine

game_folder win
cp "$SRC"/tests/replays/*.zrp win/

# 1. The corpus, verified by zumble.exe.
while read -r file result; do
    out=$(cd win && timeout 120 "$WINE" zumble.exe --verify "$file" 2>/dev/null | tr -d '\r')
    check "zumble.exe verifies $file to '$result' (got '$out')" test "$out" = "$result"
done <"$SRC/tests/replays/expected.txt"
check "verifying wrote nothing" test ! -e win/hiscoa.sav -a ! -e win/error.txt -a ! -e win/replays

# 2. A round recorded by zumble.exe, and the same run on Linux.
write_round_script round.txt
data_folder linux
ARGS="--headless --autoplay --script ../round.txt --frames 5000 --time 1300000000"
(cd linux && "$LINUX_ZUMBLE" $ARGS >out.txt 2>err.txt)
check "Linux: the round's run exits 0" test $? -eq 0
(cd win && timeout 300 "$WINE" zumble.exe $ARGS >out.txt 2>err.txt)
check "Windows: the round's run exits 0" test $? -eq 0
check "zumble.exe kept the round's replay" test -s win/replays/last.zrp -a -s win/replays/best-10-2-1.zrp
check "zumble.exe's replay is the Linux game's, byte for byte" cmp linux/replays/last.zrp win/replays/last.zrp
want=$(od -A n -t u4 -j $((12 + 4 * 5)) -N 4 win/hiscoa.sav | tr -d ' ')
out=$("$LINUX_ZUMBLE" --verify win/replays/last.zrp 2>/dev/null)
check "zumble.exe's replay verifies natively to its hiscoa.sav's $want ms: '$out'" \
    test "$(echo "$out" | sed -n 's/^ok flies=10 speed=2 time_ms=\([0-9]*\) .*/\1/p')" = "$want"

# 3. A round at zumble.exe's window, swatted with the real mouse.
cd "$WORK"
game_folder game
cd game
start_window 300 --window --scale 1
[ -n "$win" ] || { echo "FAIL: no window"; exit 1; }
check "the title shows" wait_for t.txt scene 2
click() { xdotool mousemove --window "$win" "$1" "$2" sleep 0.2 click 1 sleep 0.4; }
click 320 308
check "start leads to mode select" wait_for t.txt scene 5
click 125 84
click 125 200
click 320 320
check "start begins a round" wait_for t.txt scene 8
for _ in $(seq 300); do
    [ "$(last t.txt phase)" -ge 2 ] 2>/dev/null && break
    fly=$(tail -1 t.txt | sed -n 's/.* fly=\([-0-9]*\),\([-0-9]*\).*/\1 \2/p')
    if [ -n "$fly" ]; then
        set -- $fly
        x=$(($1 + 1)) y=$(($2 + 1))
        [ $x -lt 0 ] && x=0; [ $x -gt 639 ] && x=639; [ $y -lt 0 ] && y=0; [ $y -gt 479 ] && y=479
        xdotool mousemove --window "$win" $x $y click 1
    fi
    sleep 0.15
done
check "the round was cleared at the window" test "$(last t.txt phase)" -ge 2
# The results board takes a click only once it has shown a while (longer on a busy
# machine): clicked until it gives way, a minute at most.
for _ in $(seq 60); do
    [ "$(last t.txt scene)" = 5 ] && break
    click 320 240
    sleep 0.4
done
check "the board was left for mode select" wait_for t.txt scene 5
xdotool key --window "$win" Escape 2>/dev/null
check "back at the title" wait_for t.txt scene 2
xdotool key --window "$win" Escape 2>/dev/null
wait_exit
check "the game quit with exit 0" test $? -eq 0
check "the window's round left its replay" test -s replays/last.zrp -a -s replays/best-10-1-1.zrp
want=$(od -A n -t u4 -j 12 -N 4 hiscoa.sav | tr -d ' ')
out=$("$LINUX_ZUMBLE" --verify replays/last.zrp 2>/dev/null)
check "the window's replay verifies natively to hiscoa.sav's $want ms: '$out'" \
    test "$(echo "$out" | sed -n 's/^ok flies=10 speed=1 time_ms=\([0-9]*\) .*/\1/p')" = "$want"
out=$(timeout 120 "$WINE" zumble.exe --verify replays/last.zrp 2>/dev/null | tr -d '\r')
check "and in zumble.exe: '$out'" test "$(echo "$out" | sed -n 's/^ok .*time_ms=\([0-9]*\) .*/\1/p')" = "$want"

# 4. However zumble.exe ends, the round's replay verifies: closed on the results board
#    (headless, a script's close), and in a window mid-round by the close button and by
#    Windows ending the session (WM_ENDSESSION).
cd "$WORK"
game_folder board
head -6 round.txt >board.txt
echo "470 close" >>board.txt
(cd board && timeout 300 "$WINE" zumble.exe --headless --autoplay --script ../board.txt >out.txt 2>err.txt)
want=$(od -A n -t u4 -j $((12 + 4 * 5)) -N 4 board/hiscoa.sav | tr -d ' ')
for f in last best-10-2-1; do
    out=$("$LINUX_ZUMBLE" --verify "board/replays/$f.zrp" 2>&1)
    check "closed on the board: $f.zrp verifies to hiscoa.sav's $want ms: '$out'" \
        test "$(echo "$out" | sed -n 's/^ok flies=10 speed=2 time_ms=\([0-9]*\) .*/\1/p')" = "$want"
done
for how in close end-session; do
    cd "$WORK"
    game_folder "mid-$how"
    cd "mid-$how"
    start_window 120 --window --scale 1
    # Each click once its screen shows: one sent earlier is lost on a busy machine.
    check "$how mid-round: the title shows" wait_for t.txt scene 2
    click 320 308
    check "$how mid-round: mode select shows" wait_for t.txt scene 5
    click 125 84
    click 320 320
    check "$how mid-round: the round began" wait_for t.txt scene 8
    sleep 1
    if [ $how = close ]; then
        python3 "$SRC/tests/e2e/close_window.py" "$win"
    else
        timeout 60 wineboot --end-session >/dev/null 2>&1
    fi
    wait_exit
    check "$how mid-round: the game ends with exit 0" test $? -eq 0
    out=$("$LINUX_ZUMBLE" --verify replays/last.zrp 2>&1)
    check "$how mid-round: the round's replay says it was left: '$out'" \
        test "$out" = "invalid: the round was left before its last fly and has no time"
done

finish
