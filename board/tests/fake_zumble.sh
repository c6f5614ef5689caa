#!/usr/bin/env bash
# A stand-in for `zumble --verify` used only where a test needs what the game never does
# (hang, spin, or thousands of distinct replays made in a blink). It keeps the game's
# contract: one line, exit 0 (ok), 1 (desync/invalid) or 2 (unreadable); writes nothing.
# Its replays are text:  ZUMBLE-FAKE 1 / mode FLIES SPEED / inputs LETTERS /
# result TIME_MS FRAMES / check SUM  where the time is 1000 + 17 per input letter.
[ "$1" = --verify ] && [ $# -eq 2 ] || { echo "usage: fake_zumble.sh --verify FILE"; exit 2; }
[ -r "$2" ] || { echo "cannot read $2"; exit 2; }
# Tests that must know whether the server ran a verification count these folders (the
# verifier may write no file).
[ -z "${FAKE_ZUMBLE_RUNS:-}" ] || mkdir "$FAKE_ZUMBLE_RUNS/run.$$"
lines=()
while IFS= read -r line || [ -n "$line" ]; do lines+=("$line"); done < "$2"
[ "${#lines[@]}" -ge 5 ] || { echo "cannot read $2: truncated"; exit 2; }
[ "${lines[0]%% *}" = ZUMBLE-FAKE ] || { echo "invalid: not a replay"; exit 1; }
[ "${lines[0]}" = "ZUMBLE-FAKE 1" ] || { echo "invalid: made by another version"; exit 1; }
read -r _ flies speed <<< "${lines[1]}"
read -r _ inputs <<< "${lines[2]}"
read -r _ time_ms frames <<< "${lines[3]}"
read -r _ check <<< "${lines[4]}"
case $inputs in
  hang) while :; do read -r -t 1 < /dev/zero; done ;;       # never answers
  spin) while :; do :; done ;;                              # burns its CPU time
esac
[[ $inputs =~ ^[a-z]+$ ]] || { echo "invalid: bad inputs"; exit 1; }
sum=7
for ((i = 0; i < ${#inputs}; i++)); do
  printf -v c '%d' "'${inputs:i:1}"
  sum=$(((sum * 31 + c) % 1000003))
done
[ "$check" = "$sum" ] || { echo "desync at frame $((${#inputs} / 2))"; exit 1; }
want=$((1000 + 17 * ${#inputs}))
[ "$time_ms" = "$want" ] && [ "$frames" = "$((want * 60 / 1000))" ] ||
  { echo "invalid: the stored result is not the round's"; exit 1; }
echo "ok flies=$flies speed=$speed time_ms=$time_ms frames=$frames"
