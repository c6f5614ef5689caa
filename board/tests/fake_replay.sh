#!/usr/bin/env bash
# Writes a replay for fake_zumble.sh: fake_replay.sh FLIES SPEED INPUTS [VERSION [KEY=VALUE...]]
# Each KEY=VALUE adds a line "KEY VALUE" after the five the verifier always reads:
# program TEXT (the recorder's version text: bytes of the file, not of the round),
# seed SECONDS, cursor X,Y (where the round starts), clicks N (the most presses in one
# frame), autoplay 1, style bot|plain-autoplay (how the inputs were made), keys N,
# swatframes TOKEN (the swat frames the verifier says).
flies=$1 speed=$2 inputs=$3 version=${4:-1}
shift 4 2> /dev/null || shift $#
sum=7
for ((i = 0; i < ${#inputs}; i++)); do
  printf -v c '%d' "'${inputs:i:1}"
  sum=$(((sum * 31 + c) % 1000003))
done
t=$((1000 + 17 * ${#inputs}))
printf 'ZUMBLE-FAKE %s\nmode %s %s\ninputs %s\nresult %s %s\ncheck %s\n' \
  "$version" "$flies" "$speed" "$inputs" "$t" "$((t * 60 / 1000))" "$sum"
for pair in "$@"; do printf '%s %s\n' "${pair%%=*}" "${pair#*=}"; done
