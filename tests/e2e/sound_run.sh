#!/usr/bin/env bash
# Sound of a headless run: the music from the first frame, a swing starting in the very
# frame after the click, the sound log's lines, and a recording that repeats byte for
# byte. Run on recordings made here (known shapes), and on the game's own when present.
set -u
. "$(dirname "$0")/common.bash"

le16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }

# square FILE HALF_PERIOD FRAMES: 8-bit mono 11025 Hz square wave at full swing, which
# starts at its high level.
square() {
    local file=$1 half=$2 frames=$3 hi lo period body
    hi=$(printf '\340%.0s' $(seq "$half"))
    lo=$(printf '\040%.0s' $(seq "$half"))
    period=$hi$lo
    body=""
    while [ ${#body} -lt "$frames" ]; do body=$body$period; done
    body=${body:0:$frames}
    {
        printf 'RIFF'; le32 $((frames + 36)); printf 'WAVEfmt '; le32 16
        le16 1; le16 1; le32 11025; le32 11025; le16 1; le16 8
        printf 'data'; le32 "$frames"; printf '%s' "$body"
    } > "$file"
}

# The mix runs at RATE Hz; flip N ends at floor(N * RATE / 60) frames of the recording,
# so flips last 367 or 368 frames.
RATE=22050
flip_end() { echo $(($1 * RATE / 60)); }
FLIP_BYTES=$((RATE / 60 * 4))

# first_difference A B: the first stereo frame in which two recordings differ.
first_difference() {
    local byte
    byte=$(cmp "$1" "$2" 2>/dev/null | sed -n 's/.* byte \([0-9]*\),.*/\1/p')
    [ -n "$byte" ] && echo $(((byte - 1 - 44) / 4))
}

# silent FILE FROM TO: the recording holds only zero samples from frame FROM to TO.
silent() { cmp -s -n $((($3 - $2) * 4)) -i $((44 + $2 * 4)):0 "$1" /dev/zero; }

cat > click.txt <<'S'
0 move 6 470
30 click
S
cat > still.txt <<'S'
0 move 6 470
S

# check_run LABEL LATE: two runs with the click and one without, in the current folder;
# the swing must start within LATE frames of the mix after the click's frame (0 for
# a recording whose first sample is loud).
check_run() {
    local label=$1 late=$2
    "$ZUMBLE" --headless --frames 90 --script "$WORK/click.txt" --sound-log log1.txt --audio-out a1.wav >/dev/null 2>&1
    check "$label: run exits 0" test $? -eq 0
    "$ZUMBLE" --headless --frames 90 --script "$WORK/click.txt" --sound-log log2.txt --audio-out a2.wav >/dev/null 2>&1
    "$ZUMBLE" --headless --frames 90 --script "$WORK/still.txt" --audio-out still.wav >/dev/null 2>&1
    check "$label: 90 flips of 1/60 s at $RATE Hz" test "$(stat -c %s a1.wav)" -eq $((44 + $(flip_end 90) * 4))
    check "$label: recorded at $RATE Hz" test "$(od -An -tu4 -j24 -N4 a1.wav | tr -d ' ')" -eq "$RATE"
    check "$label: recordings repeat byte for byte" cmp -s a1.wav a2.wav
    check "$label: sound logs repeat" cmp -s log1.txt log2.txt
    # The master volume scales the mix only: at 100 nothing changes, at 0 all is silent,
    # and the game's own operations are logged the same either way.
    "$ZUMBLE" --headless --frames 90 --script "$WORK/click.txt" --volume 100 --audio-out full.wav >/dev/null 2>&1
    check "$label: --volume 100 records the same bytes" cmp -s a1.wav full.wav
    "$ZUMBLE" --headless --frames 90 --script "$WORK/click.txt" --volume 0 --sound-log log0.txt --audio-out zero.wav \
        >/dev/null 2>&1
    check "$label: --volume 0 records as long" test "$(stat -c %s zero.wav)" -eq "$(stat -c %s a1.wav)"
    check "$label: --volume 0 records only silence" silent zero.wav 0 "$(flip_end 90)"
    check "$label: --volume 0 logs the same operations" cmp -s log1.txt log0.txt
    check "$label: the music starts at once" bash -c "! cmp -s -n $FLIP_BYTES -i 44:0 a1.wav /dev/zero"
    check "$label: the music keeps playing" bash -c "! cmp -s -n $FLIP_BYTES -i $((44 + $(flip_end 89) * 4)):0 a1.wav /dev/zero"
    local at
    at=$(first_difference a1.wav still.wav)
    check "$label: the swing starts in the frame after the click (frame ${at:-none})" \
        test -n "$at" -a "${at:-0}" -ge "$(flip_end 30)" -a "${at:-0}" -lt "$(flip_end $((31 + late)))"
    check "$label: music loops from start-up" grep -qx 'frame=0 slot=SND_BGM op=loop' log1.txt
    check "$label: music at its start-up volume" grep -qx 'frame=0 slot=SND_BGM op=volume value=-1500' log1.txt
    check "$label: the click's swing is logged" grep -qx 'frame=30 slot=SND_SWING_A op=play' log1.txt
    check "$label: nothing else is played" test "$(grep -c 'op=play' log1.txt)" -eq 1
}

# Recordings of known shape: the swing's first sample is at full level.
mkdir own
cd own
ln -s "$SRC/bmp" bmp
mkdir wave
for name in cry1 hit1 button1 ok1 tclick1 tclick2; do square "wave/$name.wav" 10 2000; done
square wave/bgm1.wav 25 11025
square wave/swing1.wav 4 2205
check_run "crafted" 0
check "crafted: no load failures" grep -q "Not Erorr" error.txt
cd ..

# The windowed game under Xvfb: with SDL's disk or dummy audio it opens the device and
# plays; with no usable device it warns and runs silent.
disk_fed() { [ "$(stat -c %s "$WORK/disk.raw" 2>/dev/null || echo 0)" -gt $((RATE * 4)) ]; }
windowed() {  # windowed DRIVER FRAMES: runs the game with a window for FRAMES frames, then SIGTERM
    # In a sanitizer build the desktop's own libraries (D-Bus, X11 modules that SDL loads
    # and unloads) leave small leaks of theirs at exit; the headless runs check ours.
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" SDL_AUDIODRIVER=$1 SDL_DISKAUDIOFILE="$WORK/disk.raw" \
        "$ZUMBLE" --window --trace "trace_$1.txt" 2> "err_$1.txt" &
    local game=$!
    wait_until 60 frame_reached "trace_$1.txt" "$2"
    # The disk device is written by the audio thread at its own pace: a second of it.
    [ "$1" = disk ] && wait_until 30 disk_fed
    kill -TERM $game 2>/dev/null
    wait $game
}
if command -v Xvfb > /dev/null; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$WORK/display.txt" 2> /dev/null &
    XVFB=$!
    trap 'kill $XVFB 2>/dev/null; rm -rf "$WORK"' EXIT
    for _ in $(seq 50); do [ -s "$WORK/display.txt" ] && break; sleep 0.1; done
fi
if [ -s "$WORK/display.txt" ]; then
    export DISPLAY=":$(cat "$WORK/display.txt")"
    cd own
    windowed disk 180
    check "window, disk audio: exits 0" test $? -eq 0
    check "window, disk audio: no warning" bash -c "! grep -q 'no audio device' err_disk.txt"
    # A second of output at least (the disk device takes the mix's own format), and the
    # music in it.
    check "window, disk audio: the device was fed" test "$(stat -c %s "$WORK/disk.raw" 2>/dev/null || echo 0)" -gt $((RATE * 4))
    check "window, disk audio: the music is heard" bash -c "! cmp -s -n $((RATE * 4)) '$WORK/disk.raw' /dev/zero"
    windowed dummy 120
    check "window, dummy audio: exits 0" test $? -eq 0
    check "window, dummy audio: no warning" bash -c "! grep -q 'no audio device' err_dummy.txt"
    windowed none-such 120
    check "window, no audio device: runs and exits 0" test $? -eq 0
    check "window, no audio device: says so" grep -q "zumble: no audio device" err_none-such.txt
    cd ..
else
    echo "no Xvfb here: the windowed part is not checked"
fi

if [ -f wave/bgm1.wav ] && [ -f wave/swing1.wav ]; then
    check_run "game's recordings" 3
else
    echo "the game's recordings are not in wave/ yet: checked the crafted ones only"
fi

# A headless run that records no sound makes no samples: its buffers only move on. Over
# the committed rounds (one of 1000 flies, whose swats play all three hit sounds as each
# finds the others still playing), its trace and sound log equal a mixing run's.
same_run() { cmp -s "q-$1.trace" "m-$1.trace" && cmp -s "q-$1.snd" "m-$1.snd"; }
for f in "$SRC"/tests/replays/*.zrp; do
    name=$(basename "$f" .zrp)
    "$ZUMBLE" --headless --replay "$f" --trace "q-$name.trace" --sound-log "q-$name.snd" >/dev/null 2>&1
    "$ZUMBLE" --headless --replay "$f" --trace "m-$name.trace" --sound-log "m-$name.snd" --audio-out "m-$name.wav" \
        >/dev/null 2>&1
    check "$name: a run that mixes nothing traces and logs its sounds as one that mixes" \
        same_run "$name"
done
check "the 1000-fly round played the third hit sound" grep -q 'slot=SND_HIT_3 op=play' m-1000-flies-speed-2.snd
finish
