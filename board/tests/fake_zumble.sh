#!/usr/bin/env bash
# A stand-in for `zumble --verify` used only where a test needs what the game never does
# (hang, spin, or thousands of distinct replays made in a blink) or what it does not
# measure yet. It keeps the game's contract: one line, exit 0 (ok), 1 (desync/invalid)
# or 2 (unreadable); writes nothing.
# Its replays are text:  ZUMBLE-FAKE 1 / mode FLIES SPEED / inputs LETTERS /
# result TIME_MS FRAMES / check SUM  where the time is 1000 + 17 per input letter, then
# optional lines (fake_replay.sh): program, seed, cursor, clicks, autoplay, style, keys
# (the Enter/Space presses that changed the pace), swatframes (the swat_frames= it says,
# as written: the frame of every swat in the game's coding). The round's identity is the SHA-256
# of every line but the first and the program text; its swats, of those lines but the
# cursor's (where the round starts changes no swat) with the seed. With
# FAKE_ZUMBLE_OLDER=1 it answers as a game that says neither keys= nor swats=, with
# FAKE_ZUMBLE_NO_FRAMES=1 as one that does not say swat_frames=.
# --verify-stream: the game's framing (a length line, then the bytes; "exit STATUS LINE"
# or "signal N" back), each replay checked in a process of its own.
export LC_ALL=C
# verify PATH: checks the replay on standard input (PATH names it in messages).
verify() {
# Tests that must know whether the server ran a verification count these folders (the
# verifier may write no file).
[ -z "${FAKE_ZUMBLE_RUNS:-}" ] || mkdir "$FAKE_ZUMBLE_RUNS/run.$BASHPID"
lines=()
while IFS= read -r line || [ -n "$line" ]; do lines+=("$line"); done
[ "${#lines[@]}" -ge 5 ] || { echo "unreadable: $1: truncated"; exit 2; }
[ "${lines[0]%% *}" = ZUMBLE-FAKE ] || { echo "invalid: not a replay"; exit 1; }
[ "${lines[0]}" = "ZUMBLE-FAKE 1" ] || { echo "invalid: made by another version"; exit 1; }
read -r _ flies speed <<< "${lines[1]}"
read -r _ inputs <<< "${lines[2]}"
read -r _ time_ms frames <<< "${lines[3]}"
read -r _ check <<< "${lines[4]}"
case $inputs in
  hang) while :; do read -r -t 1 < /dev/zero; done ;;       # never answers
  spin) while :; do :; done ;;                              # burns its CPU time
  slow*) sleep 2 ;;                                         # answers, after a while
  nap) sleep 600 ;;                                         # never answers, costs no CPU
esac
[[ $inputs =~ ^[a-z]+$ ]] || { echo "invalid: bad inputs"; exit 1; }
program=fake-1 seed=1700000000 cursor=320,240 clicks=1 autoplay=0 style=person keys=0 swat_frames=
for line in "${lines[@]:5}"; do
  value=${line#* }
  case ${line%% *} in
    program) program=$value ;; seed) seed=$value ;; cursor) cursor=$value ;;
    clicks) clicks=$value ;; autoplay) autoplay=$value ;; style) style=$value ;;
    keys) keys=$value ;; swatframes) swat_frames=$value ;;
  esac    # any other line (a test's "tag N") is part of the round
done
x=${cursor%,*} y=${cursor#*,}
[ "$x" -ge 0 ] && [ "$x" -lt 640 ] && [ "$y" -ge 0 ] && [ "$y" -lt 480 ] ||
  { echo "invalid: the cursor is outside the screen ($x,$y)"; exit 1; }
[ "$clicks" -le 1 ] || { echo "invalid: $clicks presses of the button in one frame"; exit 1; }
[ "$seed" -le $(($(date +%s) + 86400)) ] || { echo "invalid: the round is from the future"; exit 1; }
sum=7
for ((i = 0; i < ${#inputs}; i++)); do
  printf -v c '%d' "'${inputs:i:1}"
  sum=$(((sum * 31 + c) % 1000003))
done
[ "$check" = "$sum" ] || { echo "desync at frame $((${#inputs} / 2))"; exit 1; }
want=$((1000 + 17 * ${#inputs}))
[ "$time_ms" = "$want" ] && [ "$frames" = "$((want * 60 / 1000))" ] ||
  { echo "invalid: the stored result is not the round's"; exit 1; }
round=$(printf '%s\n' "${lines[@]:1}" | grep -v '^program ' | sha256sum | cut -c1-64)
swats=$({ echo "seed $seed"; printf '%s\n' "${lines[@]:1}" | grep -v -e '^program ' -e '^cursor '; } |
        sha256sum | cut -c1-64)
[ "${FAKE_ZUMBLE_NO_FRAMES:-0}" = 1 ] && swat_frames=""
dealt=" keys=$keys swats=$swats${swat_frames:+ swat_frames=$swat_frames}"
[ "${FAKE_ZUMBLE_OLDER:-0}" = 1 ] && dealt=""
case $style in
  bot) signs=frame_perfect:1.00,jump_click:37 ;;
  plain-autoplay) signs=same_path_as_autoplay:0.98 ;;
  *) signs=- ;;
esac
echo "ok flies=$flies speed=$speed time_ms=$time_ms frames=$frames round=$round played=$seed" \
     "program=$program autoplay=$autoplay touch=0 pad=0 signs=$signs$dealt"
}

if [ "$1" = --verify-stream ] && [ $# -eq 1 ]; then
  echo "zumble-verify-stream 1"
  while IFS= read -r length; do
    [[ $length =~ ^[0-9]{1,10}$ ]] || exit 2
    answer=$(dd bs=65536 count="$length" iflag=count_bytes,fullblock status=none | verify /dev/fd/3)
    status=$?
    if [ $status -gt 128 ]; then echo "signal $((status - 128))"; else echo "exit $status $answer"; fi
  done
  exit 0
fi
# The clip queue's two runs, --replay FILE --clip OUT --to S --clip-caption TEXT: OUT.png
# writes a stand-in still (a line saying the range and the caption); else a stand-in
# clip (a line saying the range and the verifier's line, one saying the caption, then
# FAKE_CLIP_BYTES zero bytes, once the file FAKE_CLIP_HOLD names is there, if it names
# one). Each is written beside OUT and then named, as the game does.
if [ "$1" = --replay ] && [ "$3" = --clip ] && [ "$5" = --to ] && [ "$7" = --clip-caption ] && [ $# -eq 8 ]; then
  unset FAKE_ZUMBLE_RUNS  # a clip is no verification the tests count
  if [[ $4 == *.png ]]; then
    echo "FAKE-PNG to=$6 caption=$8" > "$4.partial" && mv "$4.partial" "$4"
    exit
  fi
  answer=$(verify "$2" < "$2") || { echo "$answer"; exit 1; }
  # FAKE_CLIP_HOLD: the clip waits until that file is there.
  while [ -n "${FAKE_CLIP_HOLD:-}" ] && [ ! -e "$FAKE_CLIP_HOLD" ]; do sleep 0.1; done
  { echo "FAKE-CLIP to=$6 $answer"; echo "caption=$8"; head -c "${FAKE_CLIP_BYTES:-1000}" /dev/zero; } > "$4.partial" &&
    mv "$4.partial" "$4"
  exit
fi
[ "$1" = --verify ] && [ $# -eq 2 ] || { echo "usage: fake_zumble.sh --verify FILE | --verify-stream"; exit 2; }
[ -r "$2" ] || { echo "unreadable: $2: cannot read"; exit 2; }
verify "$2" < "$2"
