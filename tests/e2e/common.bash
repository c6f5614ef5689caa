# Shared helpers for the end-to-end tests: each runs the game in a fresh folder that
# links the repository's bmp/ and wave/, so no test writes into the repository.
ZUMBLE=$(realpath "$1")
SRC=$(realpath "$2")
WORK=$(mktemp -d /tmp/zumble-e2e-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
ln -s "$SRC/bmp" "$WORK/bmp"
ln -s "$SRC/wave" "$WORK/wave"
cd "$WORK"
FAILS=0
PASSES=0

check() {  # check "what" command...
    local what=$1
    shift
    if "$@"; then
        PASSES=$((PASSES + 1))
    else
        echo "FAIL: $what"
        FAILS=$((FAILS + 1))
    fi
}

fail() {  # fail "what": a check that went wrong, told as it is found
    echo "FAIL: $*"
    FAILS=$((FAILS + 1))
}

# Starts a private X server and points DISPLAY at it; exits 77 (skipped) where that
# cannot be done. The server is stopped when the test ends. It never resets: by default it
# starts over whenever its last client leaves (a game that ended, an xdotool call), and a
# game connecting during that reset is refused and falls back to SDL's off-screen driver.
start_xvfb() {
    command -v Xvfb > /dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
    Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp -noreset 3> display.txt 2> xvfb.log &
    XVFB=$!
    trap 'kill $XVFB ${GAME:-} 2>/dev/null; rm -rf "$WORK"' EXIT
    for _ in $(seq 50); do [ -s display.txt ] && break; sleep 0.1; done
    [ -s display.txt ] || { echo "SKIP: Xvfb did not start"; exit 77; }
    export DISPLAY=":$(cat display.txt)"
}

# Prints the id of the game's window once it shows (empty after 30 s without one). Only a
# shown window: the game makes its window hidden, and SDL may make it again for its
# renderer before showing it, so a hidden one found may be gone a moment later.
find_window() {
    local win=""
    # Up to 30 s: a loaded machine can be slow to map a window.
    for _ in $(seq 300); do
        win=$(xdotool search --onlyvisible --name '^Zumble$' 2>/dev/null | head -1)
        [ -n "$win" ] && break
        sleep 0.1
    done
    echo "$win"
}

# The value of key=... in a trace line.
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p; s/^$1=\([^ ]*\).*/\1/p" | head -1; }

# wait_until SECONDS COMMAND...: COMMAND tried every tenth of a second until it succeeds
# (true) or SECONDS have passed (false). A busy machine makes the game slow, never wrong,
# so the window tests wait for what they expect instead of sleeping a fixed time.
wait_until() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$end" ] && return 1
        sleep 0.1
    done
}

# trace_frame TRACE: the last frame the trace has written (0 before the first).
trace_frame() {
    local frame
    frame=$(tail -1 "$1" 2>/dev/null | field frame)
    echo "${frame:-0}"
}
frame_reached() { [ "$(trace_frame "$1")" -ge "$2" ]; }
# wait_frames TRACE N: until the game has shown N frames more, so that what was sent to
# the window before has been taken in and drawn (up to 30 s).
wait_frames() { wait_until 30 frame_reached "$1" $(($(trace_frame "$1") + $2)); }
# trace_says TRACE KEY VALUE: the trace's last line has KEY=VALUE.
trace_says() { [ "$(tail -1 "$1" 2>/dev/null | field "$2")" = "$3" ]; }

# u32 FILE OFFSET: a little-endian unsigned 32-bit field of a file.
u32() { od -A n -t u4 -j "$2" -N 4 "$1" | tr -d ' '; }
# entry FILE INDEX: the INDEX-th time of a best-times file (hiscoa.sav), unsigned.
entry() { u32 "$1" $((12 + 4 * $2)); }

# write_round_script FILE: one whole round for the test player (--autoplay): the title's
# start entry, mode select's ten flies and start, and long after the round, back to the
# title and quit.
write_round_script() {
    printf '%s\n' '0 move 300 300' '3 click' '10 move 120 80' '12 click' '16 move 320 320' \
        '18 click' '3000 key escape' '3010 key escape' > "$1"
}

finish() {
    echo "$PASSES passed, $FAILS failed"
    [ "$FAILS" -eq 0 ]
}
