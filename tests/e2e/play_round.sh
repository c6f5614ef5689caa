#!/usr/bin/env bash
# Whole rounds with the test player: title -> mode select (10 flies) -> play until the
# last fly is swatted -> results board -> click -> mode select -> Escape -> title ->
# Escape -> quit. Checks the trace and the best times kept in "hiscoa.sav", across two
# runs so that the second starts from the file the first wrote; a third run, killed while
# the board shows, keeps its new time.
set -u
. "$(dirname "$0")/common.bash"
zumble=$ZUMBLE
src=$SRC

# The scenes a run went through, each run of equal values once.
scenes() {
    awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^scene=/) { s = substr($i, 7); if (s != last) printf "%s ", s; last = s } }' "$1"
}

# field LINE KEY: the value of KEY in one trace line.
field() {
    echo "$1" | tr ' ' '\n' | awk -F= -v k="$2" '$1 == k { print $2 }'
}

# The round phases seen during play, each run of equal values once.
phases() {
    awk '/ scene=8 / { for (i = 1; i <= NF; i++) if ($i ~ /^phase=/) { p = substr($i, 7); if (p != last) printf "%s ", p; last = p } }' "$1"
}

write_round_script round.script

# play RUN TIME: one whole run; checks the trace and sets CLEAR to the clear time.
CLEAR=0
play() {
    local run=$1 time=$2
    "$zumble" --headless --autoplay --script round.script --time "$time" \
        --trace "$run.trace" --frames 5000 >"$run.out" 2>&1
    local rc=$?
    [ "$rc" -eq 0 ] || fail "$run: exit code $rc"
    if [ ! -s "$run.trace" ]; then
        fail "$run: no trace"
        cat "$run.out"
        exit 1
    fi
    [ "$(wc -l <"$run.trace")" -lt 5000 ] || fail "$run: the game did not quit by itself"
    [ "$(scenes "$run.trace")" = "2 3 5 6 8 9 5 6 2 3 " ] ||
        fail "$run: scenes were '$(scenes "$run.trace")'"
    [ "$(phases "$run.trace")" = "0 1 2 3 " ] || fail "$run: phases were '$(phases "$run.trace")'"
    grep ' scene=8 ' "$run.trace" | grep -qv ' target=10 ' && fail "$run: a round not of 10 flies"

    # The clear: the last playing frame has every fly swatted; the clock took its tick.
    local clear start
    clear=$(grep ' scene=8 .* phase=0 ' "$run.trace" | tail -n 1)
    [ "$(field "$clear" swatted)" = 10 ] || fail "$run: cleared with '$(field "$clear" swatted)' swats"
    [ "$(field "$clear" flies)" = 0 ] || fail "$run: flies left at the clear"
    # The round started at the tick of the flip before its first frame.
    start=$(grep -B1 -m1 ' scene=8 ' "$run.trace" | head -n 1)
    [ "$(field "$start" scene)" = 6 ] || fail "$run: the round did not follow mode select"
    # The board accepts a click after 61 frames and the player leaves with one click.
    local board
    board=$(grep -c ' scene=8 .* phase=2 ' "$run.trace")
    [ "$board" -eq 61 ] || fail "$run: the board ran $board frames before accepting clicks"
    CLEAR=$(($(field "$clear" tick) - $(field "$start" tick)))
    # From the clear on the clock stands at the clear time while the ticks go on.
    local moved
    moved=$(awk -v c="$CLEAR" '/ scene=8 / && !/ phase=0 / { for (i = 1; i <= NF; i++) if ($i ~ /^clock=/ && substr($i, 7) != c) n++ } END { print n + 0 }' "$run.trace")
    [ "$moved" -eq 0 ] || fail "$run: the clock moved after the clear in $moved frames"
    echo "$run clear: $CLEAR ms"
}

rm -f hiscoa.sav
play first 1000000000
first=$CLEAR
[ -f hiscoa.sav ] && [ "$(wc -c <hiscoa.sav)" -eq 332 ] || fail "first: hiscoa.sav is not 332 bytes"
[ "$(head -c 4 hiscoa.sav)" = ZUSV ] || fail "first: bad magic"
# Ten flies at the starting speed: row 1, the new time in place 0, the rest untouched.
for i in $(seq 0 79); do
    want=3599999
    [ "$i" -eq 5 ] && want=$first
    got=$(entry hiscoa.sav "$i")
    [ "$got" = "$want" ] || fail "first: entry $i is '$got', expected $want"
done

# A second run with another seed starts from that file and ranks its time beside it.
play second 1000000777
second=$CLEAR
low=$first high=$second
[ "$second" -lt "$first" ] && low=$second high=$first
[ "$(entry hiscoa.sav 5)" = "$low" ] || fail "second: place 0 is '$(entry hiscoa.sav 5)', expected $low"
[ "$(entry hiscoa.sav 6)" = "$high" ] || fail "second: place 1 is '$(entry hiscoa.sav 6)', expected $high"
[ "$(entry hiscoa.sav 7)" = 3599999 ] || fail "second: place 2 changed"

# A new best time is on the disk as soon as the board shows it: a run killed (SIGKILL, as
# by a crash or a log-off) on the board keeps it. The trace goes through a pipe of one
# page, so the game is never more than a few frames ahead of what the test has read; the
# board takes 61 frames before the test player leaves it.
rm -f hiscoa.sav
mkfifo kill.trace
timeout 120 python3 - "$zumble" >kill.out 2>&1 <<'PY'
import fcntl, subprocess, sys
game = subprocess.Popen([sys.argv[1], '--headless', '--autoplay', '--script', 'round.script',
                         '--time', '1000000000', '--trace', 'kill.trace', '--frames', '5000'],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
F_SETPIPE_SZ = 1031
seen = b''
with open('kill.trace', 'rb', buffering=0) as pipe:
    fcntl.fcntl(pipe, F_SETPIPE_SZ, 4096)
    while True:
        chunk = pipe.read(256)
        if not chunk:
            break
        seen += chunk
        board = [l for l in seen.split(b'\n')[:-1] if b' scene=8 ' in l and b' phase=2 ' in l]
        if board:
            game.kill()
            print(board[0].decode())
            break
game.wait()
print('exit', game.returncode)
PY
grep -q ' phase=2 ' kill.out && grep -q '^exit -9$' kill.out || fail "killed on the board: the run was not killed there ($(tr '\n' ' ' <kill.out))"
[ "$(entry hiscoa.sav 5 2>/dev/null)" = "$first" ] ||
    fail "killed on the board: the best time $first was not saved (entry 5 is '$(entry hiscoa.sav 5 2>/dev/null)')"
check "killed on the board: no temporary file left" test ! -e hiscoa.sav.tmp

if [ "$FAILS" -ne 0 ]; then
    echo "$FAILS check(s) failed"
    exit 1
fi
echo "play rounds: all checks passed"
