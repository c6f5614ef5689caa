#!/usr/bin/env bash
# Remakes the README's screenshots from deterministic headless runs:
#   docs/screens/title.png, mode-select.png, play.png, results.png
# Usage: scripts/screenshots.sh [path/to/zumble]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
zumble=$(realpath "${1:-build/zumble}")
out=$root/docs/screens
mkdir -p "$out"
work=$(mktemp -d /tmp/zumble-shots-XXXXXX)
trap 'rm -rf "$work"' EXIT
ln -s "$root/bmp" "$work/bmp"
ln -s "$root/wave" "$work/wave"
cd "$work"

# The title with its sign pulsing and one letter (the i) in the air, then mode select.
cat > title.txt <<'S'
0 move 300 150
5 click
40 move 476 450
42 click
60 move 300 296
75 shot title.png
80 click
100 move 515 84
110 shot mode-select.png
S
"$zumble" --headless --script title.txt --frames 111 > /dev/null
# A round of 100 flies coming every frame, played by the test player: first find a frame
# with many flies, debris, falling bodies and marks on the screen, and the clear.
cat > round.txt <<'S'
0 move 300 300
3 click
10 move 515 84
11 click
16 move 320 320
17 click
30 key return
31 key return
S
"$zumble" --headless --autoplay --script round.txt --frames 3000 --time 1234567 --trace t.txt > /dev/null
busy=$(awk '/ scene=8 / && / phase=0 / { n = 0; for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        if (v["frame"] >= 200 && v["debrisA"] > 0 && v["falling"] > 0 && v["marks"] >= 5 && v["flies"] >= 20) { print v["frame"]; exit } }' t.txt)
clear=$(awk '/ scene=8 / && / phase=1 / { split($1, kv, "="); print kv[2]; exit }' t.txt)
rm -f hiscoa.sav
{ cat round.txt; echo "$busy shot play.png"; echo "$((clear + 20)) shot results.png"; } > shots.txt
"$zumble" --headless --autoplay --script shots.txt --frames $((clear + 21)) --time 1234567 > /dev/null
cp title.png mode-select.png play.png results.png "$out/"
echo "screenshots written to docs/screens (play at frame $busy, results at frame $((clear + 20)))"
