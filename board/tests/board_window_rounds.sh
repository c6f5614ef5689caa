#!/usr/bin/env bash
# Rounds a person plays in a real window reach the board: a human-like player
# (tests/e2e/human_window.py: the real pointer on smooth paths, a person's reactions and
# presses) plays three ten-fly rounds in the game's SDL window under a private X server,
# then each replay goes to a board on SQLite (loopback) with the game as its verifier,
# and each must be accepted and shown: not refused, not held as a machine's.
# Skipped (77) where Xvfb, xdotool or the game's --verify is missing.
source "$(dirname "$0")/board_common.bash"
source "$TESTS/board_trust.bash"
for tool in Xvfb xdotool python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ "$REAL_REPLAYS" = 1 ] || { echo "SKIP: no game at $GAME whose --verify the board files by"; exit 77; }
ROUNDS=3

# A private X server, stopped with the test.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3> "$WORK/display.txt" 2> "$WORK/xvfb.log" &
PIDS+=($!)
for _ in $(seq 100); do [ -s "$WORK/display.txt" ] && break; sleep 0.1; done
[ -s "$WORK/display.txt" ] || { echo "SKIP: Xvfb did not start"; exit 77; }
export DISPLAY=":$(cat "$WORK/display.txt")"
export SDL_AUDIODRIVER=dummy

# The game in a window at scale 1, from a folder of its own.
PLAY=$WORK/play
mkdir -p "$PLAY/rounds"
ln -s "$SRC/bmp" "$PLAY/bmp"
ln -s "$SRC/wave" "$PLAY/wave"
(cd "$PLAY" && exec "$GAME" --window --scale 1 --trace play.trace 2> game.err) &
GAME_PID=$!
PIDS+=("$GAME_PID")
WIN=""
# Only a shown window (tests/e2e/common.bash's find_window says why).
for _ in $(seq 300); do
    WIN=$(xdotool search --onlyvisible --name '^Zumble$' 2> /dev/null | head -1)
    [ -n "$WIN" ] && break
    kill -0 "$GAME_PID" 2> /dev/null || break
    sleep 0.1
done
[ -n "$WIN" ] || { echo "FAIL: no window ($(cat "$PLAY/game.err"))"; exit 1; }
xdotool windowfocus --sync "$WIN" 2> /dev/null || true

start=$SECONDS
(cd "$PLAY" && timeout 300 python3 "$SRC/tests/e2e/human_window.py" "$WIN" 1 play.trace $ROUNDS rounds 7) \
    > "$WORK/driver.out" 2>&1
driver_rc=$?
check "the human-like player finished its $ROUNDS rounds ($(tail -1 "$WORK/driver.out"))" [ $driver_rc = 0 ]
echo "the window rounds took $((SECONDS - start)) s: $(xargs < "$PLAY/rounds/times.txt")"
kill "$GAME_PID" 2> /dev/null

start_board window "$WORK/window.db" --submit-burst 1000
U=$URL_window
TDB=$WORK/window.db
# Shown where a player looks: its mode's board, the mode's page, its player's page, its
# replay (each round under a name of its own, so each is its player's best).
shown() {
    local id=$1 name=$2
    url_has "$U/api/boards/10/2?limit=200" "\"id\":$id," && url_has "$U/boards/10/2?limit=200" "api/runs/$id/replay" &&
        url_has "$U/api/players/$name" "\"id\":$id," && url_status "$U/api/runs/$id/replay" 200
}
n=0
while read -r round clock; do
    n=$((n + 1))
    file=$PLAY/rounds/round-$round.zrp
    echo "round $round: $("$GAME" --verify "$file" 2> /dev/null)"
    post "$U" "Hand$round" "$file"
    check "window round $round: accepted, 201 ($STATUS $BODY)" [ "$STATUS" = 201 ]
    check "window round $round: the time it showed ($clock ms)" body_has "\"time_ms\":$clock,"
    check "window round $round: no signs of a machine" bash -c '! grep -q "\"signs\":\[\"" <<< "$1"' _ "$BODY"
    id=$(json_id)
    [ -n "$id" ] && check "window round $round: shown" soon shown "$id" "Hand$round"
done < "$PLAY/rounds/times.txt"
check "the human-like driver's window rounds all accepted and shown ($n of $ROUNDS)" [ "$n" = $ROUNDS ]
check "none of them held" [ "$(db_sql sqlite "$TDB" "SELECT count(*) FROM runs WHERE state <> 'shown'" 2> /dev/null || echo '?')" = 0 ]

# The headless player (the rounds of the other board tests): the same seed gives the
# same replay byte for byte; its round verifies to the time it printed, with no signs;
# and its script keeps a hand's limits: the cursor on the screen, no move of 32 pixels or
# more within a frame, the button down and up in different frames, presses 200 ms apart
# at least.
HUMAN=$SRC/tests/e2e/human_round.py
line1=$(python3 "$HUMAN" "$GAME" "$SRC" "$WORK/h1.zrp" --time 1700009000 --script "$WORK/h1.script")
line2=$(python3 "$HUMAN" "$GAME" "$SRC" "$WORK/h2.zrp" --time 1700009000)
check "headless player: the same seed, the same replay ($line1)" cmp -s "$WORK/h1.zrp" "$WORK/h2.zrp"
verified=$("$GAME" --verify "$WORK/h1.zrp" 2> /dev/null)
check "headless player: verifies to its time, no signs ($verified)" \
    grep -Eq "^ok flies=10 speed=2 time_ms=$(sed 's/^time_ms=\([0-9]*\) .*/\1/' <<< "$line1") .* signs=-( |\$)" <<< "$verified"
python3 - "$WORK/h1.script" > "$WORK/limits.out" <<'PY'
import sys
frames, moves, downs, ups = [], {}, [], []
for line in open(sys.argv[1]):
    f, verb, *rest = line.split()
    f = int(f)
    if f < 20:
        continue  # the title and mode select, before the round
    if verb == "move":
        moves[f] = tuple(map(int, rest))
    elif verb == "down":
        downs.append(f)
    elif verb == "up":
        ups.append(f)
on_screen = all(0 <= x < 640 and 0 <= y < 480 for x, y in moves.values())
step = max(((moves[f][0] - moves[f - 1][0]) ** 2 + (moves[f][1] - moves[f - 1][1]) ** 2) ** 0.5
           for f in moves if f - 1 in moves)
apart = min(b - a for a, b in zip(downs, downs[1:]))
print(f"on_screen={on_screen} largest_step={step:.1f} same_frame={len(set(downs) & set(ups))} "
      f"closest_presses={apart * 1000 // 60}ms presses={len(downs)}")
sys.exit(0 if on_screen and step < 32 and not set(downs) & set(ups) and apart * 1000 / 60 >= 200 else 1)
PY
limits=$?
check "headless player: a hand's limits ($(cat "$WORK/limits.out"))" [ $limits = 0 ]
finish
