#!/usr/bin/env bash
# Rounds a person plays in a real window verify, whatever the machine and the display do
# and however the game ends: twenty rounds with the game stopped (SIGSTOP) for 10-200 ms
# at random moments; rounds on displays of 59.94 to 240 Hz (simulated: ZUMBLE_DISPLAY_HZ);
# the window closed on the results board, and closed or sent SIGTERM in the middle of a
# round. Each round's replay plays to the time the round showed (and the best times'
# to hiscoa.sav's), or says it was left before its last fly. A quick player
# (window_driver.py) swats the flies with the real mouse. Skipped (77) only where Xvfb,
# xdotool or python3 is missing.
set -u
. "$(dirname "$0")/common.bash"
for tool in Xvfb xdotool python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
GAME=""
start_xvfb 1280x1024x24
export SDL_AUDIODRIVER=dummy
DRIVER="python3 $SRC/tests/e2e/window_driver.py"

# start_game TRACE [ENV...]: the game in a window at scale 1 (with GAME_ARGS); sets GAME and WIN.
start_game() {
    local trace=$1
    shift
    local try
    for try in 1 2; do
        env "$@" "$ZUMBLE" --window --scale 1 --trace "$trace" ${GAME_ARGS:-} 2>>game.err &
        GAME=$!
        WIN=$(find_window)
        [ -n "$WIN" ] && break
        kill $GAME 2>/dev/null
        wait $GAME
        GAME=""
        # Xvfb on a machine this busy has now and then refused the game's connection
        # (SDL then finds only its off-screen driver): one more start, said out loud.
        echo "no window (try $try): $(tail -1 game.err)"
    done
    [ -n "$WIN" ] || { fail "no window"; return 1; }
    xdotool windowfocus --sync "$WIN" 2>/dev/null || true
}
# close_game: the window's close button, once more if the first went unheard on a loaded
# machine; then the game's exit code is in CODE.
close_game() {
    local try
    for try in 1 2; do
        python3 "$SRC/tests/e2e/close_window.py" "$WIN"
        for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
        kill -0 $GAME 2>/dev/null || break
        echo "the close button was not heard (try $try)"
    done
    kill -0 $GAME 2>/dev/null && kill -KILL $GAME
    wait $GAME
    CODE=$?
    GAME=""
}
# end_game: Escape twice (mode select, title) and wait for the game to end by itself.
end_game() {
    xdotool key --window "$WIN" Escape 2>/dev/null
    sleep 0.5
    xdotool key --window "$WIN" Escape 2>/dev/null
    for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
    kill $GAME 2>/dev/null
    wait $GAME
    GAME=""
}
# verify_rounds DIR WHAT: each DIR/round-N.zrp plays to the time DIR/times.txt says;
# ROUNDS is how many there were.
verify_rounds() {
    local n clock out bad=0 count=0
    while read -r n clock; do
        [ -f "$1/round-$n.zrp" ] || continue
        count=$((count + 1))
        out=$("$ZUMBLE" --verify "$1/round-$n.zrp" 2>&1)
        case $out in
            "ok flies=10 speed=2 time_ms=$clock frames="*) ;;
            *) echo "  $2, round $n ($clock ms): $out"; bad=$((bad + 1)) ;;
        esac
    done <"$1/times.txt"
    check "$2: all $count rounds verify to the time they showed" test "$bad" -eq 0 -a "$count" -gt 0
    ROUNDS=$count
}
# best_verify WHAT: the ten-fly speed-2 best times' replays play to hiscoa.sav's times.
best_verify() {
    local p out bad=0
    for p in 1 2 3 4 5; do
        [ -f "replays/best-10-2-$p.zrp" ] || continue
        out=$("$ZUMBLE" --verify "replays/best-10-2-$p.zrp" 2>&1)
        [ "${out%% round=*}" = "ok flies=10 speed=2 time_ms=$(entry hiscoa.sav $((4 + p))) frames=$(u32 "replays/best-10-2-$p.zrp" 52)" ] ||
            { echo "  best $p: '$out', hiscoa.sav $(entry hiscoa.sav $((4 + p)))"; bad=$((bad + 1)); }
    done
    check "$1: the best times' replays verify to hiscoa.sav's times" test "$bad" -eq 0 -a -f replays/best-10-2-1.zrp
}

# --- twenty rounds, the game stopped now and then for 10-200 ms ---------------------------
mkdir stalls
start_game stalls.trace && {
    $DRIVER "$WIN" 1 stalls.trace 20 stalls >stalls/driver.out 2>&1 &
    driver=$!
    stops=0
    while kill -0 $driver 2>/dev/null; do
        sleep "0.$((RANDOM % 4 + 1))$((RANDOM % 10))"
        kill -STOP $GAME 2>/dev/null || break
        sleep "0.$(printf '%03d' $((RANDOM % 191 + 10)))"
        kill -CONT $GAME
        stops=$((stops + 1))
    done
    wait $driver || fail "the player did not finish: $(tail -1 stalls/driver.out)"
    echo "the game was stopped $stops times"
    check "the game was stopped at least 20 times" test "$stops" -ge 20
    end_game
    verify_rounds stalls "stalled now and then"
    check "twenty rounds were played ($ROUNDS)" test "$ROUNDS" -ge 20
    best_verify "stalled now and then"
}

echo "stalls: ${SECONDS}s"

# --- displays of other refresh rates -------------------------------------------------------
for hz in 59.94 60.02 75 120 144 240; do
    rm -rf replays hiscoa.sav
    mkdir "hz-$hz"
    start_game "hz-$hz.trace" ZUMBLE_DISPLAY_HZ=$hz || continue
    $DRIVER "$WIN" 1 "hz-$hz.trace" 1 "hz-$hz" >"hz-$hz/driver.out" 2>&1 ||
        fail "$hz Hz: the player did not finish: $(tail -1 "hz-$hz/driver.out")"
    end_game
    verify_rounds "hz-$hz" "a display at $hz Hz"
    # Frames come at 60 a second, not at the display's rate: ticks over the trace. The
    # clock counts whole milliseconds of 1/60 s slots, so a span of frames may read up to
    # 1 ms short (301 frames in 5016 ms): that millisecond is given back before dividing.
    fps=$(awk '{ f = substr($1, 7) + 0; t = substr($2, 6) + 0 } NR == 60 { f0 = f; t0 = t } END { printf "%.3f", (f - f0) * 1000 / (t - t0 + 1) }' "hz-$hz.trace")
    echo "$hz Hz: $fps frames a second"
    check "$hz Hz: the game runs no faster than 60 frames a second ($fps)" awk "BEGIN { exit !($fps <= 60.0) }"
done

echo "rates: ${SECONDS}s"

# --- the window closed on the results board ----------------------------------------------------
rm -rf replays hiscoa.sav
mkdir board
start_game board.trace && {
    $DRIVER "$WIN" 1 board.trace 1 board end >board/driver.out 2>&1 || fail "the board round: $(tail -1 board/driver.out)"
    close_game
    check "closed on the board, the game ends with exit 0 ($CODE)" test $CODE -eq 0
    clock=$(cut -d' ' -f2 board/times.txt)
    check "the time the board showed ($clock) is in hiscoa.sav" test "$(entry hiscoa.sav 5)" = "$clock"
    out=$("$ZUMBLE" --verify replays/last.zrp 2>&1)
    check "closed on the board: the round's replay verifies to $clock: '$out'" \
        test "${out%% round=*}" = "ok flies=10 speed=2 time_ms=$clock frames=$(u32 replays/last.zrp 52)"
    best_verify "closed on the board"
}

# --- the window closed, or SIGTERM, in the middle of a round ------------------------------------
for how in close sigterm; do
    rm -rf replays hiscoa.sav
    start_game "mid-$how.trace" || continue
    click() { xdotool mousemove --window "$WIN" "$1" "$2" click 1; sleep 0.4; }
    scene_is() { for _ in $(seq 100); do [ "$(tail -1 "mid-$how.trace" | field scene)" = "$1" ] && return 0; sleep 0.1; done; return 1; }
    scene_is 2
    click 300 300
    scene_is 5
    click 120 80
    click 320 320
    scene_is 8
    check "$how mid-round: the round started" test "$(tail -1 "mid-$how.trace" | field scene)" = 8
    sleep 1
    if [ $how = close ]; then
        close_game
    else
        kill -TERM $GAME
        for _ in $(seq 100); do kill -0 $GAME 2>/dev/null || break; sleep 0.1; done
        wait $GAME
        CODE=$?
        GAME=""
    fi
    check "$how mid-round: the game ends with exit 0 ($CODE)" test $CODE -eq 0
    out=$("$ZUMBLE" --verify replays/last.zrp 2>&1)
    check "$how mid-round: the round's replay says it was left: '$out'" \
        test "$out" = "invalid: the round was left before its last fly and has no time"
    check "$how mid-round: it says the game was closed" test "$(od -A n -t u1 -j 31 -N 1 replays/last.zrp | tr -d ' ')" = 1
done

# --- splits over a round, off, and a race ----------------------------------------------------
# The reference is the mode's best kept replay (a corpus round of ten flies, 7.234 s). The
# window is stopped a few frames after the first swat and compared with the game's own
# shots of the frames about then, made from the round's replay: the splits' top band
# differs (the delta in green or red), the rest of the picture is the game's (but for the
# line at the bottom that says the pace changed). With --splits off the window is the
# game's shot; --race shows the raced run's time.
TOOL="$SRC/tests/e2e/shot_tool.py"
FONT="$SRC/platform/services/overlay_draw.cpp"
swat_seen() {  # swat_seen TRACE: 3 frames have passed since the first swat
    local first
    first=$(grep -m1 -o '^frame=[0-9]* .* swatted=[1-9]' "$1" | cut -d' ' -f1 | cut -d= -f2)
    [ -n "$first" ] && frame_reached "$1" $((first + 3))
}
# capture TRACE NAME: the game stopped, its window in NAME.xwd, the round's frame shown
# (from the trace, the flip that ended it: the window may already show the next) in FRAME.
capture() {
    kill -STOP $GAME
    local w0
    w0=$(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' "$1" | cut -d' ' -f1 | cut -d= -f2)
    FRAME=$(($(trace_frame "$1") - w0))
    xwd -silent -id "$WIN" -out "$2.xwd"
}
# game_shots NAME: the game's own shots of frames FRAME-1 .. FRAME+1 of replays/last.zrp.
game_shots() {
    local h0 f
    "$ZUMBLE" --headless --replay replays/last.zrp --trace "$1.h.trace" >/dev/null 2>&1
    h0=$(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' "$1.h.trace" | cut -d' ' -f1 | cut -d= -f2)
    for f in -1 0 1; do echo "$((h0 + FRAME + f)) shot $1$f.png"; done >"$1.shots"
    "$ZUMBLE" --headless --replay replays/last.zrp --script "$1.shots" >/dev/null 2>&1
}
# The line at the bottom where a notice may stand for a moment (the quick player's Enter
# changes the pace, and that is said there): rows NOTE_TOP to NOTE_BOTTOM.
NOTE_TOP=447
NOTE_BOTTOM=464
# game_rows NAME F TOP BOTTOM: rows TOP to BOTTOM of the window are those of shot F.
game_rows() { [ "$(python3 "$TOOL" differ "$1.xwd" "$1$2.png" 1 0 0 "$3" "$4")" -eq 0 ]; }
# splits_over NAME: for one of the shots, the top band differs with a green or red delta
# in it, and every row below it is the game's, but for a notice's line.
splits_over() {
    local f toned
    toned=$(($(python3 "$TOOL" count "$1.xwd" 0 0 640 11 64 224 64) + $(python3 "$TOOL" count "$1.xwd" 0 0 640 11 255 72 72)))
    [ "$toned" -gt 0 ] || { echo "  no delta's colour in the top band"; return 1; }
    for f in -1 0 1; do
        [ "$(python3 "$TOOL" differ "$1.xwd" "$1$f.png" 1 0 0 0 11)" -gt 500 ] &&
            game_rows "$1" "$f" 11 $NOTE_TOP && game_rows "$1" "$f" $NOTE_BOTTOM 480 && return 0
    done
    return 1
}
plain_as_game() {
    local f
    for f in -1 0 1; do
        game_rows "$1" "$f" 0 $NOTE_TOP && game_rows "$1" "$f" $NOTE_BOTTOM 480 && return 0
    done
    python3 "$TOOL" same "$1.xwd" "$1-1.png" 1 0 0
    return 1
}
REF="$SRC/tests/replays/10-flies-speed-2.zrp"
reference() { rm -rf replays hiscoa.sav; mkdir replays; cp "$REF" replays/best-10-2-1.zrp; }
# splits_round NAME CHECK [ARGS]: a round played to its board beside the checks, which see
# the window stopped after the first swat (then the key PRESS, if any, is pressed); its
# replay verifies.
splits_round() {
    local name=$1 what=$2 driver out
    shift 2
    reference
    mkdir "$name"
    GAME_ARGS="$*" start_game "$name.trace" || return
    $DRIVER "$WIN" 1 "$name.trace" 1 "$name" end >"$name/driver.out" 2>&1 &
    driver=$!
    if wait_until 60 swat_seen "$name.trace"; then
        capture "$name.trace" "$name"
        kill -CONT $GAME
        [ -n "${PRESS:-}" ] && xdotool key --window "$WIN" "$PRESS"
    else
        fail "$name: no swat seen"
    fi
    wait $driver || fail "$name: the player did not finish: $(tail -1 "$name/driver.out")"
    close_game
    game_shots "$name"
    check "$name: $what" $CHECK_SHOT "$name"
    out=$("$ZUMBLE" --verify replays/last.zrp 2>&1)
    check "$name: the round's replay verifies: '${out%% round=*}'" \
        test "${out%% round=*}" = "ok flies=10 speed=2 time_ms=$(cut -d' ' -f2 "$name/times.txt") frames=$(u32 replays/last.zrp 52)"
}
PRESS=s CHECK_SHOT=splits_over splits_round splits "after the first swat the delta shows, and only the top band differs from the game's shot"
check "S turned the splits off, kept in display.ini (and the game never heard it: the replay verified)" \
    grep -qx 'splits=off' display.ini
rm display.ini
CHECK_SHOT=plain_as_game splits_round nosplits "with --splits off the window is the game's own shot" --splits off
check "--splits off is kept in display.ini" grep -qx 'splits=off' display.ini
rm display.ini
# The race: the game starts at mode select in the raced run's mode; the top line names it
# and its time.
race_line() {
    local ms
    ms=$(u32 "$REF" 48)
    python3 "$TOOL" text "$1.xwd" 1 0 0 4 2 "race: ada  $((ms / 60000)):$(printf '%02d.%03d' $((ms / 1000 % 60)) $((ms % 1000)))" "$FONT"
}
CHECK_SHOT=race_line splits_round race "--race shows the raced run's name and time on the top line" --race "$REF" --race-name ada

# R mid-round (pressed after the first swat): the round so far is left as Escape leaves
# it and the mode starts again at once, played on to its board. Both rounds are in the
# history; the left one's replay plays to its end as a left round's does, the new one's
# verifies to its time (its signs are the quick player's own; replays.sh shows a person's
# round behind an R with none).
retried() {
    local left out
    check "R: the history holds the left round, then the new one ($(wc -l <history.txt) lines)" \
        bash -c '[ "$(wc -l <history.txt)" = 2 ] && head -1 history.txt | grep -q " time_ms=left " &&
                 tail -1 history.txt | grep -q " time_ms=[0-9]"'
    left=$(head -1 history.txt | grep -o 'round=[0-9a-f]*' | cut -c7-22)
    out=$("$ZUMBLE" --verify "replays/round-$left.zrp" 2>&1)
    check "R: the left round's replay plays to its end: '$out'" \
        bash -c 'grep -q "left before its last fly" <<<"$1" && ! grep -q desync <<<"$1"' _ "$out"
}
rm -f history.txt display.ini
PRESS=r CHECK_SHOT=retried splits_round retry "R restarts the mode"

finish
