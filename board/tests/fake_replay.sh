#!/usr/bin/env bash
# Writes a replay for fake_zumble.sh: fake_replay.sh FLIES SPEED INPUTS [VERSION]
flies=$1 speed=$2 inputs=$3 version=${4:-1}
sum=7
for ((i = 0; i < ${#inputs}; i++)); do
  printf -v c '%d' "'${inputs:i:1}"
  sum=$(((sum * 31 + c) % 1000003))
done
t=$((1000 + 17 * ${#inputs}))
printf 'ZUMBLE-FAKE %s\nmode %s %s\ninputs %s\nresult %s %s\ncheck %s\n' \
  "$version" "$flies" "$speed" "$inputs" "$t" "$((t * 60 / 1000))" "$sum"
