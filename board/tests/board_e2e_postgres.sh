#!/usr/bin/env bash
# The board on a real PostgreSQL, started here as a throw-away cluster, with two
# servers sharing it: the same suite as on SQLite, then each server sees the other's
# runs, and submissions racing on both (the same replay too) store each replay once.
source "$(dirname "$0")/board_common.bash"
source "$TESTS/board_replays.bash"
source "$TESTS/board_suite.bash"
source "$TESTS/board_trust.bash"
prepare_replays
start_postgres

mkdir -p "$WORK/site"
echo '<title>the page</title>' > "$WORK/site/index.html"
start_board a "$PG_URL" --submit-burst 1000 --site "$WORK/site"
start_board b "$PG_URL" --submit-burst 1000
check "schema version 5" [ "$(db_sql pg "$PG_URL" 'SELECT version FROM schema_version')" = 5 ]
run_suite "$URL_a" pg "$PG_URL"

req GET "$URL_b/api/boards/$GOOD1_FLIES/$GOOD1_SPEED"
check "the other server: the runs of the first" grep -q '"name":"Ann-1"' <<< "$BODY"
req GET "$URL_b/"
check "the other server's page: the runs of the first" grep -q 'Ann-1</a></td>' <<< "$BODY"

# Both servers at once: distinct replays to either, and one replay to both, each from a
# loopback address of its own (an address has one verification pending at a time).
if [ "$REAL_REPLAYS" = 1 ]; then
    prepare_race_rounds 6
    race_files=("$WORK"/race-*.rpl)
else
    for i in $(seq 1 8); do
        "$TESTS/fake_replay.sh" 100 4 "race$(echo abcdefgh | cut -c$i)xyz" > "$WORK/race-$i.rpl"
    done
    race_files=("$WORK"/race-*.rpl)
fi
n=0
racers=()
for f in "${race_files[@]}"; do
    n=$((n + 1))
    if [ $((n % 2)) = 0 ]; then u=$URL_a; else u=$URL_b; fi
    curl -s -o /dev/null -w '%{http_code}\n' -X POST --url-query "name=Race $n" \
        --interface "127.0.1.$n" --data-binary "@$f" "$u/api/runs" >> "$WORK/race.status" &
    racers+=($!)
done
for u in "$URL_a" "$URL_b"; do
    curl -s -o /dev/null -w '%{http_code}\n' -X POST --url-query "name=Race 1" \
        --interface "127.0.2.${#racers[@]}" --data-binary "@${race_files[0]}" "$u/api/runs" >> "$WORK/twice.status" &
    racers+=($!)
done
wait "${racers[@]}"
# The first replay goes three times under its name (to both servers): one 201, two 200.
cat "$WORK/race.status" "$WORK/twice.status" > "$WORK/all.status"
check "racing: one 201 per distinct replay ($(sort "$WORK/all.status" | uniq -c | xargs))" \
    [ "$(grep -c '^201$' "$WORK/all.status")" = "${#race_files[@]}" ]
check "racing: the same replay again answered 200 ($(sort "$WORK/all.status" | uniq -c | xargs))" \
    [ "$(grep -c '^200$' "$WORK/all.status")" = 2 ]
check "racing: each replay stored once" \
    [ "$(db_sql pg "$PG_URL" 'SELECT count(*) FROM runs')" = $((3 + ${#race_files[@]})) ]
check "racing: replays and runs match" \
    [ "$(db_sql pg "$PG_URL" 'SELECT count(*) FROM replays')" = $((3 + ${#race_files[@]})) ]
# Under another name, on either server: a duplicate.
for u in "$URL_a" "$URL_b"; do
    submit "$u" "Not Race" "${race_files[0]}"
    check "racing: the same round under another name: 409 ($STATUS)" [ "$STATUS" = 409 ]
done
req GET "$URL_a/api/boards"
a_boards=$BODY
req GET "$URL_b/api/boards"
check "both servers show the same boards" [ "$a_boards" = "$BODY" ]

# One run a round, names and keys, held runs, bans, the operator, pages and the feed,
# on a database of their own.
psql -qtAX "$PG_URL" -c 'CREATE DATABASE trust' > /dev/null
run_trust_suite pg "${PG_URL%/postgres}/trust"
# Health, a pg_dump taken while runs are sent and restored, the drain.
psql -qtAX "$PG_URL" -c 'CREATE DATABASE ops' > /dev/null
run_ops_checks pg "${PG_URL%/postgres}/ops"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
wait_until() {  # SECONDS COMMAND...
    local limit=$(($(now_ms) + $1 * 1000))
    shift
    until "$@"; do [ "$(now_ms)" -lt "$limit" ] || return 1; sleep 0.05; done
}
# variant N: a round no one has sent (another header text would be the same round).
[ "$REAL_REPLAYS" = 1 ] && record_rounds "$WORK/var-%d.rpl" 1700004000 4
variant() {
    [ "$REAL_REPLAYS" = 1 ] || { cat "$GOOD1"; echo "tag $1"; } > "$WORK/var-$1.rpl"
    echo "$WORK/var-$1.rpl"
}
timed_submit() {  # URL NAME FILE: submit, and MS the time to the answer
    local start
    start=$(now_ms)
    req POST "$1/api/runs" --url-query "name=$2" --data-binary "@$3" -D "$WORK/headers" --max-time 30
    MS=$(($(now_ms) - start))
}
pg_log=$WORK/pg/server.log

# Reads come from memory: 400 reads of the page and the boards on both servers make no
# query of the runs, and of the counter only the watches' few.
psql -qtAX "$PG_URL" -c "ALTER SYSTEM SET log_statement = 'all'" -c "SELECT pg_reload_conf()" > /dev/null
req GET "$URL_a/"; req GET "$URL_a/api/boards"; req GET "$URL_b/"; req GET "$URL_b/api/boards"
logged() { psql -qtAX "$PG_URL" -c "SELECT '$1'" > /dev/null; grep -q "$1" "$pg_log"; }
check "statements logged" wait_until 10 logged reads-begin
urls=()
for i in $(seq 100); do urls+=("$URL_a/" "$URL_a/api/boards" "$URL_b/" "$URL_b/api/boards"); done
curl -s "${urls[@]}" > /dev/null
psql -qtAX "$PG_URL" -c "SELECT 'reads-end'" > /dev/null
window=$(sed -n '/reads-begin/,/reads-end/p' "$pg_log")
check "400 reads: no query of the runs ($(grep -c 'FROM runs' <<< "$window"))" [ "$(grep -c 'FROM runs' <<< "$window")" = 0 ]
check "400 reads: the counter read only by the watches ($(grep -c 'board_state' <<< "$window"))" \
    [ "$(grep -c 'board_state' <<< "$window")" -lt 100 ]
psql -qtAX "$PG_URL" -c "ALTER SYSTEM RESET log_statement" -c "SELECT pg_reload_conf()" > /dev/null

# A run stored through one server shows on the other's pages within a second.
timed_submit "$URL_a" Seen "$(variant 1)"
check "seen elsewhere: stored (got $STATUS: $BODY)" [ "$STATUS" = 201 ]
seen_id=$(json_field id)
shown_on_b() { curl -s "$URL_b/" | grep -q "/api/runs/$seen_id/replay"; }
start=$(now_ms)
check "seen elsewhere: the other server's page shows it" wait_until 10 shown_on_b
echo "a run stored through one server showed on the other's page after $(($(now_ms) - start)) ms"

# The database's disk full (a trigger raising disk_full, 53100): the run is refused
# with 507, saying so, and nothing is stored.
psql -qtAX "$PG_URL" -c "CREATE FUNCTION board_test_full() RETURNS trigger AS \$\$ BEGIN
    RAISE EXCEPTION 'test: out of room' USING ERRCODE = 'disk_full'; END \$\$ LANGUAGE plpgsql" \
    -c "CREATE TRIGGER board_test_full BEFORE INSERT ON runs FOR EACH ROW EXECUTE FUNCTION board_test_full()" > /dev/null
before=$(db_sql pg "$PG_URL" 'SELECT count(*) FROM runs')
timed_submit "$URL_a" Full "$(variant 2)"
check "database disk full: 507 (got $STATUS: $BODY)" [ "$STATUS" = 507 ]
check "database disk full: says so" grep -q 'disk is full' <<< "$BODY"
check "database disk full: nothing stored" [ "$(db_sql pg "$PG_URL" 'SELECT count(*) FROM runs')" = "$before" ]
psql -qtAX "$PG_URL" -c "DROP TRIGGER board_test_full ON runs" -c "DROP FUNCTION board_test_full()" > /dev/null

# The database stalled (every process of the cluster stopped with SIGSTOP, as a hung
# machine or a dead network looks): what needs it gets 503 with Retry-After within 5 s,
# what does not (the page's files, a 404) answers at once, and all is well once it runs.
postmaster=$(head -1 "$PG_DATA/postmaster.pid")
cluster="$postmaster $(pgrep -P "$postmaster" | xargs)"
kill -STOP $cluster
timed_submit "$URL_a" Stalled "$(variant 3)"
check "database stalled: a submission gets 503 (got $STATUS: $BODY)" [ "$STATUS" = 503 ]
check "database stalled: within 5 s ($MS ms)" [ "$MS" -lt 5000 ]
check "database stalled: Retry-After" grep -qi '^Retry-After: ' "$WORK/headers"
for path in "api/boards/10/2?limit=37 503" "api/boards/30/4?limit=9 503" "play/ 200" "nothing-here 404"; do
    start=$(now_ms)
    req GET "$URL_a/${path% *}" --max-time 30
    ms=$(($(now_ms) - start))
    check "database stalled: GET /${path% *} answered ${path##* } (got $STATUS in $ms ms)" \
        [ "$STATUS" = "${path##* }" -a "$ms" -lt 5000 ]
done
boards_503() { [ "$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 "$URL_a/api/boards")" = 503 ]; }
check "database stalled: the kept boards too, once the watch has seen it" wait_until 10 boards_503
kill -CONT $cluster
boards_200() { [ "$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 "$1/api/boards")" = 200 ]; }
check "database running again: the boards again" wait_until 15 boards_200 "$URL_a"
# The other server's watch met the stall as well, and after its last timeout each server
# fails statements at once for a second: the submission goes to it once it has seen the
# database back.
check "database running again: the other server's boards too" wait_until 15 boards_200 "$URL_b"
timed_submit "$URL_b" Stalled "$WORK/var-3.rpl"
check "database running again: the submission goes through (got $STATUS: $BODY)" [ "$STATUS" = 201 ]

# The database going away: reads and submissions say so (503), and come back when it does.
# The boards kept in memory are served until the watch sees the database gone (a quarter
# of a second), then 503.
as_pg pg_ctl -D "$PG_DATA" -m fast stop > /dev/null
check "database stopped: 503" wait_until 10 boards_503
check "database stopped: not ready, saying why" \
    [ "$(curl -s -w ' %{http_code}' "$URL_a/readyz")" = "not ready: the database does not answer
 503" ]
check "database stopped: still alive" [ "$(curl -s "$URL_a/healthz")" = ok ]
grep -a "DEBUG\|database" "$WORK/a.err" | tail -12
timed_submit "$URL_a" Away "$(variant 4)"
check "database stopped: a submission gets 503, not 500 (got $STATUS: $BODY)" [ "$STATUS" = 503 ]
check "database stopped: Retry-After" grep -qi '^Retry-After: ' "$WORK/headers"
# The operator still reads the metrics, which say the database is down and count its
# errors, and give no held runs (they cannot be read).
scrape "$URL_a"
check "database stopped: the metrics answered (got $STATUS)" [ "$STATUS" = 200 ]
check "database stopped: the metrics say it is down" [ "$(metric zumble_board_database_up)" = 0 ]
check "database stopped: no held runs said" [ -z "$(metric zumble_board_held_runs)" ]
check "database stopped: its errors counted ($(metric zumble_board_db_errors_total))" \
    awk -v n="$(metric zumble_board_db_errors_total)" 'BEGIN { exit !(n + 0 > 0) }'
pg_start
req GET "$URL_a/api/boards"
check "database back: 200 (got $STATUS)" [ "$STATUS" = 200 ]
finish
