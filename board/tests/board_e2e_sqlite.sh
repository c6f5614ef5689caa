#!/usr/bin/env bash
# The board on SQLite, end to end on loopback: accepted and refused submissions, the
# page and the JSON, the verifier's limits, the rate limit, restart and schema versions.
source "$(dirname "$0")/board_common.bash"
source "$TESTS/board_replays.bash"
source "$TESTS/board_suite.bash"
source "$TESTS/board_trust.bash"
prepare_replays

DBF=$WORK/board.db
mkdir -p "$WORK/site"
echo '<title>the page</title>' > "$WORK/site/index.html"
start_board a "$DBF" --site "$WORK/site" --submit-burst 1000 --access-log \
    --work-dir "$WORK/made/for/a"
run_suite "$URL_a" sqlite "$DBF"

# A work folder that was not there is made, the board's alone.
check "--work-dir made when missing" [ "$(stat -c %a "$WORK/made/for/a" 2>&1)" = 700 ]
# The access log (text): a line per request, each with the id its answer carried.
ids=()
for q in a b c d e; do
    curl -s -o /dev/null -D "$WORK/access.headers" "$URL_a/api/boards?$q=1"
    ids+=("$(request_id "$WORK/access.headers")")
done
curl -s -o /dev/null -D "$WORK/access.headers" "$URL_a/nothing-here"
ids+=("$(request_id "$WORK/access.headers")")
access_lines() {  # one line for each id, the last for the 404
    local id n=0
    for id in "${ids[@]}"; do
        [ "$(grep -c " id=$id\$" "$WORK/a.err")" = 1 ] && n=$((n + 1))
    done
    [ "$n" = "${#ids[@]}" ] && grep -q "access 127\.0\.0\.1 \"GET /nothing-here\" 404 [0-9]* [0-9.]*ms id=${ids[5]}\$" "$WORK/a.err"
}
check "access log: one line per request, with its answer's id (${ids[*]})" soon access_lines
check "access log: the ids differ" [ "$(printf '%s\n' "${ids[@]}" | sort -u | wc -l)" = 6 ]
# What a client sends cannot break or stretch a log line, nor grow the metrics: a long
# target with a quote is one line, cut, the quote written %22; a hundred paths no route
# has, under methods of their own, are one series.
long=$(printf 'x%.0s' $(seq 3000))
curl -s -o /dev/null -D "$WORK/access.headers" --path-as-is "$URL_a/api/boards?q=\"$long"
long_id=$(request_id "$WORK/access.headers")
long_line() { grep " id=$long_id\$" "$WORK/a.err"; }
check "access log: a long target cut, its quote escaped" \
    soon eval '[ "$(long_line | wc -l)" = 1 ] && [ "$(long_line | wc -c)" -lt 700 ] && long_line | grep -q "?q=%22xxx.*\.\.\.\" 200 "'
for i in $(seq 100); do curl -s -o /dev/null -X "VERB$i" "$URL_a/nowhere/$i-$RANDOM"; done
unmatched='zumble_board_http_request_duration_seconds_count{method="other",route="unmatched",status="404"}'
check "metrics: a hundred unknown paths and methods counted in one series" \
    soon metric_above "$URL_a" "$unmatched" 99
check "metrics: no series of a client's text ($(grep -c '^zumble_board_http_request_duration_seconds_count' "$WORK/metrics.txt") series)" \
    [ "$(grep -c '^zumble_board_http_request_duration_seconds_count' "$WORK/metrics.txt")" -lt 30 ]
check "access log: a verdict line for each submission, text" \
    grep -Eq '^[0-9T:.-]+Z verdict 127\.0\.0\.1 201 stored run [0-9]+ [0-9]+x[0-9] [0-9]+ ms id=[0-9a-f]{16}$' "$WORK/a.err"

check "WAL journal" [ "$(sqlite3 "$DBF" 'PRAGMA journal_mode')" = wal ]
check "schema version 5" [ "$(sqlite3 "$DBF" 'SELECT version FROM schema_version')" = 5 ]
req GET "$URL_a/play/"
check "/play/ serves the page" grep -q 'the page' <<< "$BODY"
req GET "$URL_a/play"
check "/play: the page too (got $STATUS)" grep -q 'the page' <<< "$BODY"
req GET "$URL_a/play/../board.db" --path-as-is
check "/play/ does not reach outside its folder (got $STATUS)" [ "$STATUS" = 404 ]
req GET "$URL_a/play/%2e%2e/board.db" --path-as-is
check "/play/ does not reach outside its folder, encoded (got $STATUS)" [ "$STATUS" = 404 ]

# Random requests: names, ids, modes, limits, methods and bodies; only documented
# statuses, never a 5xx, and the server keeps answering.
python3 "$TESTS/board_random_requests.py" "$URL_a" 1500 23 "$GOOD1" > "$WORK/random.out" 2>&1
random_rc=$?  # before the message's $(...), which sets $? of its own
check "random requests: only documented statuses ($(tail -1 "$WORK/random.out"))" [ $random_rc = 0 ]
grep FAULT "$WORK/random.out" | head -5

# A restart keeps every run; a database from a newer server, or with a damaged version,
# is refused, untouched.
kill "$PID_a"; wait "$PID_a" 2>/dev/null
start_board b "$DBF"
req GET "$URL_b/api/boards"
check "after restart: the three runs" [ "$(grep -o '"id"' <<< "$BODY" | wc -l)" = 3 ]
kill "$PID_b"; wait "$PID_b" 2>/dev/null
cp "$DBF" "$WORK/newer.db"
sqlite3 "$WORK/newer.db" 'UPDATE schema_version SET version = 99'
"$BOARD" --port 0 --db "$WORK/newer.db" --zumble "$VERIFIER" > /dev/null 2> "$WORK/newer.err"
check "newer schema: refused with exit 1" [ $? = 1 ]
check "newer schema: says so" grep -q 'newer than this server' "$WORK/newer.err"
check "newer schema: untouched" [ "$(sqlite3 "$WORK/newer.db" 'SELECT version FROM schema_version')" = 99 ]
sqlite3 "$WORK/newer.db" 'UPDATE schema_version SET version = -3'
"$BOARD" --port 0 --db "$WORK/newer.db" --zumble "$VERIFIER" > /dev/null 2> "$WORK/damaged.err"
check "damaged schema version: refused with exit 1" [ $? = 1 ]
check "damaged schema version: says so" grep -q 'version cannot be read or is damaged' "$WORK/damaged.err"
check "damaged schema version: untouched" [ "$(sqlite3 "$WORK/newer.db" 'SELECT version FROM schema_version')" = -3 ]

# The verifier's limits, with the stand-in that hangs or spins (the game never does):
# each refused in bounded time, nothing stored, the server still serving.
FAKE=$TESTS/fake_zumble.sh
start_board c "$WORK/limits.db" --zumble "$FAKE" --verify-timeout 1000 --verify-cpu 1 \
    --submit-burst 3 --submit-rate 0.01
"$TESTS/fake_replay.sh" 10 1 hang > "$WORK/hang.rpl"
"$TESTS/fake_replay.sh" 10 1 spin > "$WORK/spin.rpl"
for kind in hang spin; do
    start=$(date +%s%N)
    submit "$URL_c" Eve "$WORK/$kind.rpl"
    ms=$((($(date +%s%N) - start) / 1000000))
    check "$kind: 422 (got $STATUS: $BODY)" [ "$STATUS" = 422 ]
    check "$kind: too long" grep -q 'took too long' <<< "$BODY"
    check "$kind: answered in bounded time (${ms} ms)" [ "$ms" -lt 8000 ]
done
check "hang, spin: no verifier left running" bash -c '! pgrep -f "fake_zumble[.]sh --verify /" > /dev/null'
check "hang, spin: no replay left in the work folder" bash -c '! ls "$1"/replay-* 2> /dev/null' _ "$WORK"
# The third submission spends the burst of 3; the fourth is refused.
"$TESTS/fake_replay.sh" 10 1 abc > "$WORK/abc.rpl"
submit "$URL_c" Eve "$WORK/abc.rpl"
check "within the rate: 201 (got $STATUS)" [ "$STATUS" = 201 ]
"$TESTS/fake_replay.sh" 10 1 abcd > "$WORK/abcd.rpl"
submit "$URL_c" Eve "$WORK/abcd.rpl"
check "over the rate: 429 (got $STATUS)" [ "$STATUS" = 429 ]
check "over the rate: nothing stored" [ "$(sqlite3 "$WORK/limits.db" 'SELECT count(*) FROM runs')" = 1 ]
req GET "$URL_c/api/boards"
check "over the rate: still reading" [ "$STATUS" = 200 ]

# A full verifier queue: with one verifier busy and no room to wait, a submission is
# told to come back (503, Retry-After) rather than piling up. Each from an address of its
# own (one pending verification per address); an address that has used almost nothing
# may take one slot more while the others run long, so three hanging rounds from three
# addresses fill the verifier, the extra slot, and the third is turned away.
start_board d "$WORK/queue.db" --zumble "$FAKE" --verifiers 1 --queue 0 --verify-timeout 3000
for n in 2 3 4; do
    "$TESTS/fake_replay.sh" 10 1 "hang" > "$WORK/hang$n.rpl"
    echo "inputs-$n" >> "$WORK/hang$n.rpl"   # distinct bytes, the same hanging round
    curl -s -o "$WORK/q$n.body" -D "$WORK/q$n.headers" -w '%{http_code}' --interface 127.0.0.$n \
        -X POST --data-binary "@$WORK/hang$n.rpl" "$URL_d/api/runs?name=Slow" > "$WORK/q$n.status" &
    eval "slow$n=\$!"
    sleep 0.3
done
wait "$slow2" "$slow3" "$slow4"
check "queue full: one of three turned away with 503 ($(cat "$WORK"/q?.status | xargs))" \
    grep -q 503 "$WORK/q2.status" "$WORK/q3.status" "$WORK/q4.status"
check "queue full: Retry-After" grep -qi '^Retry-After: ' $(grep -l 503 "$WORK"/q?.status | sed 's/status$/headers/')
submit "$URL_d" Next "$WORK/abc.rpl"
check "queue free again: 201 (got $STATUS)" [ "$STATUS" = 201 ]
# The submit command says a held run in words: stored, and the name not yet the sender's.
"$TESTS/fake_replay.sh" 10 1 botsubmitted 1 style=bot > "$WORK/held.rpl"
"$BOARD" submit "$WORK/held.rpl" --name Robi --to "$URL_d" > "$WORK/held.out" 2> /dev/null
check "submit, held: exit 1" [ $? = 1 ]
check "submit, held: in words ($(cat "$WORK/held.out"))" \
    grep -q '^held for review: run [0-9]* is stored but shows signs of machine play (.*); an operator will watch it\. The name is yours only if it is approved$' "$WORK/held.out"

# One run a round, names and keys, held runs, bans, the operator, pages and the feed.
run_trust_suite sqlite "$WORK/trust.db"
# Health, a backup taken while runs are sent and restored, the drain.
run_ops_checks sqlite "$WORK/ops.db"

# A board of the first schema is brought to the current one with its runs: each its
# player's (names folded as the board folds them), shown, and the first runs still the
# records they were; then each run filed under how its round was dealt, by its replay
# played again at the start: on no board while the game does not say (an older game),
# then on its board, a copy of another's round off the board.
fake_old() { "$TESTS/fake_replay.sh" 10 2 "$@" > "$WORK/old$n.rpl"; n=$((n + 1)); }
n=1
fake_old oldtimerone; fake_old oldtwo; fake_old beaplays; fake_old kayskeys 1 keys=2
fake_old oldtwo 1 cursor=100,100
fake_old30() { "$TESTS/fake_replay.sh" 30 1 "$@" > "$WORK/old$n.rpl"; n=$((n + 1)); }
fake_old30 champion; fake_old30 champ
sqlite3 "$WORK/old.db" <<SQL
CREATE TABLE schema_version (version INTEGER NOT NULL); INSERT INTO schema_version VALUES (1);
CREATE TABLE replays (hash TEXT PRIMARY KEY, bytes BLOB NOT NULL);
CREATE TABLE runs (id INTEGER PRIMARY KEY AUTOINCREMENT, hash TEXT NOT NULL UNIQUE REFERENCES replays(hash),
  name TEXT NOT NULL, flies INTEGER NOT NULL, speed INTEGER NOT NULL, time_ms INTEGER NOT NULL,
  frames INTEGER NOT NULL, created INTEGER NOT NULL);
CREATE INDEX runs_by_mode_time ON runs (flies, speed, time_ms, id);
CREATE TABLE board_state (generation INTEGER NOT NULL); INSERT INTO board_state VALUES (3);
INSERT INTO replays VALUES ('h1', readfile('$WORK/old1.rpl')), ('h2', readfile('$WORK/old2.rpl')),
  ('h3', readfile('$WORK/old3.rpl')), ('h4', readfile('$WORK/old4.rpl')), ('h5', readfile('$WORK/old5.rpl')),
  ('h6', readfile('$WORK/old6.rpl')), ('h7', readfile('$WORK/old7.rpl'));
INSERT INTO runs VALUES (1, 'h1', 'Old Timer', 10, 2, 1187, 71, 1600000000),
  (2, 'h2', 'old  timer', 10, 2, 1102, 66, 1600000100), (3, 'h3', 'Bea', 10, 2, 1136, 68, 1600000200),
  (4, 'h4', 'Kay', 10, 2, 1136, 68, 1600000300), (5, 'h5', 'Copycat', 10, 2, 1102, 66, 1600000400),
  (6, 'h6', 'Champion', 30, 1, 1136, 68, 1600000500), (7, 'h7', 'СHAMPION', 30, 1, 1085, 65, 1600000600);
SQL
FAKE_ZUMBLE_OLDER=1 start_board old "$WORK/old.db" --zumble "$TESTS/fake_zumble.sh"
check "migrated: schema version 5" [ "$(sqlite3 "$WORK/old.db" 'SELECT version FROM schema_version')" = 5 ]
# The first schema's names were folded by SQL (lower()): folded again at start, and of
# two that now fold alike (a Cyrillic С), the older keeps the name, the other is renamed.
check "migrated: players folded as the board folds, the look-alike renamed" \
    [ "$(sqlite3 "$WORK/old.db" "SELECT group_concat(name || '=' || fold, ';') FROM players")" = "Old Timer=old tlrner;Bea=bea;Kay=kay;Copycat=copycat;Champion=charnplon;СHAMPION-2=charnplon-2" ]
check "migrated: the operator is told" grep -q 'names: player [0-9]* "СHAMPION" looks like Champion (player [0-9]*, older), which keeps the name: renamed "СHAMPION-2"' "$WORK/old.err"
names_audit() { sqlite3 "$WORK/old.db" "SELECT count(*) FROM audit WHERE actor = 'zumble-board' AND target LIKE 'name %'"; }
check "migrated: each change in the audit ($(names_audit))" [ "$(names_audit)" = 3 ]
"$TESTS/fake_replay.sh" 30 1 champagain > "$WORK/champ.rpl"
submit "$URL_old" "СHAMPION" "$WORK/champ.rpl"
check "migrated: the look-alike no longer claims Champion (got $STATUS)" [ "$STATUS" = 400 ]
check "migrated, the game older: it says so" soon grep -q 'does not say how a round was dealt' "$WORK/old.err"
req GET "$URL_old/api/boards/10/2"
check "migrated, the game older: no run on a board ($BODY)" grep -q '"total":0,' <<< "$BODY"
"$TESTS/fake_replay.sh" 10 2 oldtimer > "$WORK/oldtimer.rpl"
submit "$URL_old" "OLD TIMER" "$WORK/oldtimer.rpl"
check "migrated, the game older: a new round is stored, on no board yet (202 unfiled: $BODY)" \
    grep -q '"error":"unfiled"' <<< "$BODY"
check "migrated: a name from before keys is claimed by its next run, with the key" grep -q '"key":"zk-' <<< "$BODY"
kill "$PID_old"; wait "$PID_old" 2>/dev/null
start_board old2 "$WORK/old.db" --zumble "$TESTS/fake_zumble.sh"
check "migrated, started again: nothing more to fold" [ "$(names_audit)" = 3 ]
check "filed at the start ($(grep filed "$WORK/old2.err"))" soon grep -q '^zumble-board: filed 8 runs stored before (1 with Enter/Space, 1 copies' "$WORK/old2.err"
req GET "$URL_old2/api/boards/10/2"
check "filed: one row a player, the best first ($BODY)" \
    grep -q '"total":2,"offset":0,"runs":\[{"rank":1,"id":2,"name":"Old Timer",.*{"rank":2,"id":3,"name":"Bea"' <<< "$BODY"
req GET "$URL_old2/api/boards/10/2/keys"
check "filed: the round with Enter/Space on its own board" grep -q '"total":1,"offset":0,"runs":\[{"rank":1,"id":4,"name":"Kay"' <<< "$BODY"
check "filed: the copy of run 2 taken off, and why" [ "$(sqlite3 "$WORK/old.db" "SELECT state || ' ' || (SELECT reason FROM audit WHERE target = 'run 5') FROM runs WHERE id = 5")" = "hidden the same round as run 2 (mode, seed and swats); hidden" ]
req GET "$URL_old2/api/players/%D0%A1HAMPION-2"
check "migrated: the renamed player keeps its run" grep -q '"id":7,' <<< "$BODY"
check "filed: records as they were, each board's own" [ "$(sqlite3 "$WORK/old.db" 'SELECT group_concat(id) FROM runs WHERE record = 1')" = 1,2,4,6,7 ]
kill "$PID_old2"; wait "$PID_old2" 2>/dev/null

# Runs stored before the board kept swat frames (a game that did not say them) get them
# at a start by their replays played again, and of two whose every swat is within two
# frames on one seed, the older keeps the round and the newer comes off as its copy.
"$TESTS/fake_replay.sh" 100 2 framesround 1 seed=1700000900 swatframes=KEEEEEEEEE > "$WORK/frames1.rpl"
"$TESTS/fake_replay.sh" 100 2 framesrnd 1 seed=1700000900 swatframes=KEEEEEEEED > "$WORK/frames2.rpl"
FAKE_ZUMBLE_NO_FRAMES=1 start_board frames1 "$WORK/frames.db" --zumble "$TESTS/fake_zumble.sh"
submit "$URL_frames1" Fay "$WORK/frames1.rpl"
check "frames: a run from a game that does not say its swat frames: 201 ($BODY)" [ "$STATUS" = 201 ]
submit "$URL_frames1" Mallory "$WORK/frames2.rpl"
check "frames: its copy moved a frame, the frames unknown: 201 ($BODY)" [ "$STATUS" = 201 ]
kill "$PID_frames1"; wait "$PID_frames1" 2>/dev/null
FAKE_ZUMBLE_NO_FRAMES=1 start_board frames1b "$WORK/frames.db" --zumble "$TESTS/fake_zumble.sh"
check "frames: started again, the game still does not say them: it says so" \
    soon grep -q 'does not say them (swat_frames=)' "$WORK/frames1b.err"
kill "$PID_frames1b"; wait "$PID_frames1b" 2>/dev/null
start_board frames2 "$WORK/frames.db" --zumble "$TESTS/fake_zumble.sh"
check "frames: kept at the start ($(grep 'swat frames' "$WORK/frames2.err"))" \
    soon grep -q '^zumble-board: swat frames kept for 2 runs stored before (1 copies' "$WORK/frames2.err"
check "frames: the newer run, a copy moved a frame, taken off, and why" [ "$(sqlite3 "$WORK/frames.db" "SELECT state || ' ' || (SELECT reason FROM audit WHERE target = 'run 2') FROM runs WHERE id = 2")" = "hidden the same round as run 1 (mode and seed, every swat within two frames); hidden" ]
req GET "$URL_frames2/api/boards/100/2"
check "frames: the older run still on its board, alone ($BODY)" grep -q '"total":1,"offset":0,"runs":\[{"rank":1,"id":1,"name":"Fay"' <<< "$BODY"
check "frames: each run's frames kept" [ "$(sqlite3 "$WORK/frames.db" "SELECT group_concat(coalesce(swat_frames, 'none')) FROM runs")" = "KEEEEEEEEE,none" ]
kill "$PID_frames2"; wait "$PID_frames2" 2>/dev/null

# --version, and --help with every option of the table (option_rows.cpp) and the
# submit and admin commands.
game_version=$(sed -n 's/^project(zumble VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
"$BOARD" --version > "$WORK/version.out"
check "--version: the release and the replays it takes ($(cat "$WORK/version.out"))" \
    grep -q "^zumble-board $game_version (replay format [0-9]*, game version [0-9]*)$" "$WORK/version.out"
"$BOARD" --help > "$WORK/help.out"
check "--help: exit 0" [ $? = 0 ]
help_lists_all() {
    local name missing=""
    for name in $(grep -o '\.name = "--[a-z-]*"' "$SRC/board/src/option_rows.cpp" | cut -d'"' -f2); do
        grep -q "^  $name\b" "$WORK/help.out" || missing+=" $name"
    done
    for name in "zumble-board submit FILE" "zumble-board admin --db" "approve ID" "ban-address ADDR" \
                "export ID FILE" "zumble-board --help | --version"; do
        grep -qF -- "$name" "$WORK/help.out" || missing+=" '$name'"
    done
    [ -z "$missing" ] || { echo "not in --help:$missing"; return 1; }
}
check "--help: a line per option, the submit and admin commands" help_lists_all

# Bad command lines: one clear line, exit 2, nothing served.
for args in "--port 70000" "--port x" "--threads 1" "--verify-cpu 0" "--submit-rate -1" \
            "--zumble /nonexistent" "--site /nonexistent" "--bogus 1" "--db" \
            "--public-url ftp://board.example" "--public-url https://a@board.example/" \
            "--oldest-seed 2020-02-30" "--oldest-seed 20200101" "--max-seed-age 0" "--max-held 0" \
            "--metrics-from 10.0.0.0/33" "--metrics-from example.org" "--log-format xml" \
            "--work-dir /dev/null/x"; do
    # shellcheck disable=SC2086
    "$BOARD" --zumble "$VERIFIER" $args > /dev/null 2> "$WORK/bad.err"
    code=$?
    check "zumble-board $args: exit 2 (got $code)" [ "$code" = 2 ]
    check "zumble-board $args: says why" grep -q '^zumble-board: ' "$WORK/bad.err"
done
finish
