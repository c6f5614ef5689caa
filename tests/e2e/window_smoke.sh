#!/usr/bin/env bash
# The real window under Xvfb: it opens, presents 60 frames a second, quits on SIGTERM and
# on the Escape key, writing "error.txt" each time. Skipped (77) where Xvfb cannot start.
set -u
. "$(dirname "$0")/common.bash"

# No display at all: the set-up failure is told on stderr and ends with exit code 1.
env -u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=dummy timeout 20 "$ZUMBLE" --window 2> nodisplay.txt
check "no display: exit 1, not a hang" test $? -eq 1
check "no display: the failing call named" grep -q "DirectDrawCreate();" nodisplay.txt
check "no display: then the game's own message" grep -q "Can't create DirectDraw Object" nodisplay.txt
check "no display: error.txt still written" grep -q "Write End" error.txt

start_xvfb

# No sound card (an ALSA configuration that defines no device): the player sees only the
# game's own line, with SDL's reason in it, not ALSA's own errors.
printf '# no cards, no devices\n' > nocard.conf
ALSA_CONFIG_PATH="$WORK/nocard.conf" SDL_AUDIODRIVER=alsa "$ZUMBLE" --window 2> nocard.txt &
GAME=$!
# Until the sound set-up has spoken (a busy machine may take a while), then a moment more.
for _ in $(seq 300); do [ -s nocard.txt ] && break; sleep 0.1; done
sleep 0.5
kill -TERM $GAME
wait $GAME
check "no sound card: exit 0" test $? -eq 0
check "no sound card: the game's line with SDL's reason" grep -q "^zumble: no audio device (ALSA: .*); running without sound$" nocard.txt
check "no sound card: no line of ALSA's own" bash -c '! grep -q "ALSA lib" nocard.txt'
check "no sound card: one line in all" test "$(wc -l < nocard.txt)" -eq 1

export SDL_AUDIODRIVER=dummy

"$ZUMBLE" --window --trace t.txt 2> err1.txt &
GAME=$!
# Two seconds of frames at least, however slowly the window came up.
for _ in $(seq 300); do [ "$(wc -l < t.txt 2>/dev/null || echo 0)" -ge 150 ] && break; sleep 0.1; done
sleep 1
kill -TERM $GAME
wait $GAME
check "SIGTERM ends the game with exit 0" test $? -eq 0
check "error.txt written after SIGTERM" grep -q "Write End" error.txt
check "best times written after SIGTERM" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332
lines=$(wc -l < t.txt)
check "frames were presented" test "$lines" -gt 60
# Frame rate over the run, leaving out the first second of start-up.
fps=$(awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
             if (v["tick"] >= 1000 && !first) { f0 = v["frame"]; t0 = v["tick"]; first = 1 }
             f1 = v["frame"]; t1 = v["tick"] }
           END { if (t1 > t0) printf "%.2f", (f1 - f0) * 1000 / (t1 - t0); else print 0 }' t.txt)
echo "measured: $fps frames per second over $lines frames"
# A busy machine may show fewer frames, never more: the pacing must hold the game at 60.
check "no more than 60 frames per second ($fps)" awk -v f="$fps" 'BEGIN { exit !(f > 10 && f < 61.8) }'

# The window's close button (the window manager's WM_DELETE_WINDOW): a
# normal end that also keeps the best times.
rm -f error.txt hiscoa.sav
"$ZUMBLE" --window --trace close.txt 2> err3.txt &
GAME=$!
win=$(find_window)
# The game running its title (a busy machine is slow to start it), then the close.
wait_until 30 frame_reached close.txt 30
[ -n "$win" ] && python3 "$SRC/tests/e2e/close_window.py" "$win"
gone() { ! kill -0 "$1" 2>/dev/null; }
wait_until 30 gone $GAME || { echo "still running 30 s after the close"; kill -KILL $GAME; }
wait $GAME
code=$?
check "closing the window ends the game with exit 0 (got $code: $(tr '\n' ' ' < err3.txt))" test $code -eq 0
check "error.txt written after the close" grep -q "Write End" error.txt
check "best times written after the close" test "$(stat -c %s hiscoa.sav 2>/dev/null)" = 332

rm -f error.txt
"$ZUMBLE" --window --trace esc.txt 2> err2.txt &
GAME=$!
win=$(find_window)
check "the window is titled Zumble" test -n "$win"
wait_until 30 frame_reached esc.txt 30
[ -n "$win" ] && xdotool windowfocus --sync "$win" key Escape 2>/dev/null
wait_until 30 gone $GAME || { echo "still running 30 s after Escape"; kill -TERM $GAME; }
wait $GAME
check "Escape on the title quits with exit 0" test $? -eq 0
check "error.txt written after Escape" grep -q "Write End" error.txt
finish
