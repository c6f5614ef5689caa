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

start_board a "$PG_URL" --submit-burst 1000
start_board b "$PG_URL" --submit-burst 1000
check "schema version 2" [ "$(db_sql pg "$PG_URL" 'SELECT version FROM schema_version')" = 2 ]
run_suite "$URL_a" pg "$PG_URL"

req GET "$URL_b/api/boards/$GOOD1_FLIES/$GOOD1_SPEED"
check "the other server: the runs of the first" grep -q '"name":"Ann-1"' <<< "$BODY"
req GET "$URL_b/"
check "the other server's page: the runs of the first" grep -q 'Ann-1</a></td>' <<< "$BODY"

# Both servers at once: distinct replays to either, and one replay to both.
if [ "$REAL_REPLAYS" = 1 ]; then
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
        --data-binary "@$f" "$u/api/runs" >> "$WORK/race.status" &
    racers+=($!)
done
for u in "$URL_a" "$URL_b"; do
    curl -s -o /dev/null -w '%{http_code}\n' -X POST --url-query "name=Race 1" \
        --data-binary "@${race_files[0]}" "$u/api/runs" >> "$WORK/twice.status" &
    racers+=($!)
done
wait "${racers[@]}"
# The first replay goes three times under its name (to both servers): one 201, two 200.
cat "$WORK/race.status" "$WORK/twice.status" > "$WORK/all.status"
check "racing: one 201 per distinct replay ($(sort "$WORK/all.status" | uniq -c | xargs))" \
    [ "$(grep -c '^201$' "$WORK/all.status")" = "${#race_files[@]}" ]
check "racing: the same replay again answered 200" [ "$(grep -c '^200$' "$WORK/all.status")" = 2 ]
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

# The database going away: reads say so, and come back when it does.
as_pg pg_ctl -D "$PG_DATA" -m fast stop > /dev/null
req GET "$URL_a/api/boards"
check "database stopped: 503 (got $STATUS)" [ "$STATUS" = 503 ]
pg_start
req GET "$URL_a/api/boards"
check "database back: 200 (got $STATUS)" [ "$STATUS" = 200 ]
finish
