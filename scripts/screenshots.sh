#!/usr/bin/env bash
# Remakes the README's screenshots from deterministic headless runs:
#   docs/screens/title.png, mode-select.png, play.png, results.png
# the board's front page (docs/screens/board.png, with make board and tests/web's node
# modules), the page on a desktop screen and on phones (docs/screens/page-desktop.png,
# phone-landscape.png, phone-portrait.png, with make web and the node modules), and,
# where a window can be shown under Xvfb (Xvfb, xdotool, xwd, python3), the replay
# viewer with its overlay: docs/screens/viewer.png
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

# The board's front page: a board over a fresh database, rounds a person could play
# (tests/e2e/human_round.py) sent to it under a few names, the page shown in Chromium at
# 1280x800. Needs make board and tests/web's node modules.
board=$root/build-board/zumble-board
if [ -x "$board" ] && [ -d "$root/tests/web/node_modules/playwright-core" ]; then
    "$board" --port 0 --db board.db --zumble "$zumble" --work-dir "$work" --review-top 0 > board.out 2> board.err &
    board_pid=$!
    url=""
    for _ in $(seq 100); do
        url=$(grep -o 'http://[0-9.]*:[0-9]*' board.out 2> /dev/null | head -1 || true)
        [ -n "$url" ] && break
        sleep 0.1
    done
    [ -n "$url" ] || { cat board.err; kill $board_pid; exit 1; }
    now=$(date +%s)
    n=0
    for run in "Ann 10 2" "Bo 10 2" "Chen 10 2" "Dee 10 3" "Fay 10 3" "Eli 30 2" "Gus 10 1" "Hal 30 2"; do
        read -r name flies speed <<< "$run"
        n=$((n + 1))
        python3 "$root/tests/e2e/human_round.py" "$zumble" "$root" "run-$n.zrp" --time $((now - 3600 * n)) \
            --flies "$flies" --speed "$speed" --hand "$n" > /dev/null
        curl -s -o /dev/null -X POST --data-binary @"run-$n.zrp" -H 'Content-Type: application/octet-stream' \
            "$url/api/runs?name=$name"
    done
    node --input-type=module -e "
      import { launch } from '$root/tests/web/harness.mjs';
      const context = await launch({ width: 1280, height: 800 });
      const page = await context.newPage();
      await page.goto(process.argv[1]);
      await page.screenshot({ path: process.argv[2] });
      await context.close();" "$url/" "$out/board.png"
    kill $board_pid
    wait $board_pid 2> /dev/null || true
    echo "board screenshot written to docs/screens/board.png"
else
    echo "no board shot: make board and (cd tests/web && npm ci) first"
fi

# The page: at 1280x800 two seconds into an autoplayed round, and on phones held sideways
# and upright during a round played by taps (phone_test.mjs keeps its shots).
# Needs make web and tests/web's node modules.
site=$root/build-web/site
if [ -f "$site/index.html" ] && [ -d "$root/tests/web/node_modules/playwright-core" ]; then
    node --input-type=module -e "
      import { launch, serve, lastTraceLine, traceField, waitForScene } from '$root/tests/web/harness.mjs';
      // Clicks through the title and mode select; the test player swats from there.
      const script = ['0 move 300 300', '3 click', '10 move 120 80', '11 click', '14 move 320 320', '15 click', ''];
      const server = await serve(process.argv[1], { 'play.txt': script.join('\\n') });
      const context = await launch({ width: 1280, height: 800 }, { hasTouch: false });
      const page = await context.newPage();
      await page.goto(server.url + '?script=play.txt&autoplay&trace&time=42');
      if (!await waitForScene(page, 8, 60000)) throw new Error('the round did not start');
      const start = Number(traceField(await lastTraceLine(page), 'frame'));
      while (Number(traceField(await lastTraceLine(page), 'frame')) < start + 120) await page.waitForTimeout(50);
      await page.screenshot({ path: process.argv[2] });
      await context.close();
      server.close();" "$site" "$out/page-desktop.png"
    ZUMBLE_SCREENSHOTS="$out" node "$root/tests/web/phone_test.mjs" "$site" "$zumble" > /dev/null
    echo "page screenshots written to docs/screens/page-desktop.png, phone-landscape.png, phone-portrait.png"
else
    echo "no page shots: make web and (cd tests/web && npm ci) first"
fi

# The viewer: a round of 30 flies whose swatter sweeps in loops and swats every quarter
# second, recorded headless, then watched in a window and paused 5 s in.
for tool in Xvfb xdotool xwd python3; do
    command -v $tool > /dev/null || { echo "no viewer shot: $tool is not installed"; exit 0; }
done
rm -rf replays hiscoa.sav
{
    printf '%s\n' '0 move 300 300' '3 click' '16 move 320 320' '17 click'
    awk 'BEGIN { for (f = 20; f < 640; f++) {
        printf "%d move %d %d\n", f, 300 + 250 * sin(f / 40), 230 + 170 * sin(f / 23)
        if (f % 15 == 0) printf "%d click\n", f } print "640 key escape" }'
} > loops.txt
"$zumble" --headless --script loops.txt --frames 700 --time 1765180800 > /dev/null
"$zumble" --headless --replay replays/last.zrp --trace h.trace > /dev/null 2>&1
h0=$(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' h.trace | cut -d' ' -f1 | cut -d= -f2)
want=$(sed -n "$((h0 + 300))p" h.trace | sed 's/^frame=[0-9]* //')
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3> display.txt 2> /dev/null &
xvfb=$!
trap 'kill $xvfb ${game:-} 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s display.txt ] && break; sleep 0.1; done
export DISPLAY=":$(cat display.txt)" SDL_AUDIODRIVER=dummy
"$zumble" --window --scale 1 --replay replays/last.zrp --trace w.trace > /dev/null 2>&1 &
game=$!
win=""
for _ in $(seq 300); do win=$(xdotool search --name '^Zumble$' 2>/dev/null | head -1 || true); [ -n "$win" ] && break; sleep 0.1; done
xdotool key --window "$win" space Home Right
for _ in $(seq 600); do [ "$(tail -1 w.trace 2>/dev/null | sed 's/^frame=[0-9]* //')" = "$want" ] && break; sleep 0.1; done
# A few presents after the frame stood still, so that the overlay shows it.
sleep 0.5
xwd -id "$win" -out viewer.xwd
python3 "$root/tests/e2e/shot_tool.py" png viewer.xwd "$out/viewer.png" 0 0 640 480
xdotool key --window "$win" Escape
wait $game || true
echo "viewer screenshot written to docs/screens/viewer.png (frame 300 of the round)"
