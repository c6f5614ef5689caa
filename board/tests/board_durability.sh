#!/usr/bin/env bash
# Durability: replays submitted one after another while the server is killed with
# SIGKILL at random moments and started again, on SQLite and on PostgreSQL. Afterwards
# every run that was answered 201 is on the board with its replay byte for byte, each
# run has its replay and each replay its run (nothing half-stored), and the SQLite file
# passes its integrity check. A warm verifier killed while it works costs no answer.
source "$(dirname "$0")/board_common.bash"
source "$TESTS/board_replays.bash"

COUNT=16
if [ "$REAL_REPLAYS" = 1 ]; then
    record_rounds "$WORK/d-%d.rpl" 1700005000 $COUNT
else
    for i in $(seq 1 $COUNT); do
        "$TESTS/fake_replay.sh" 10 2 "dur$(echo abcdefghijklmnop | cut -c$i)run" > "$WORK/d-$i.rpl"
    done
fi
[ "$(md5sum "$WORK"/d-*.rpl | cut -d' ' -f1 | sort -u | wc -l)" = $COUNT ] ||
    { echo "FAIL: the rounds are not all different"; exit 1; }

# A warm verifier killed with SIGKILL while it works (the stand-in, slow to answer for
# this round, as the only verifier): a fresh one verifies the replay again, the
# submission gets its answer, and the pool goes on with the new member.
mkdir "$WORK/runs"
export FAKE_ZUMBLE_RUNS=$WORK/runs
start_board warm "$WORK/warm.db" --zumble "$TESTS/fake_zumble.sh" --verifiers 1
unset FAKE_ZUMBLE_RUNS
"$TESTS/fake_replay.sh" 10 2 slowround > "$WORK/slow.rpl"
curl -s -o "$WORK/slow.resp" -w '%{http_code}' --max-time 60 -X POST --url-query "name=Slow" \
    --data-binary "@$WORK/slow.rpl" "$URL_warm/api/runs" > "$WORK/slow.code" &
slow_submit=$!
working=""
for _ in $(seq 300); do
    for m in $(pgrep -P "$PID_warm" -f -- --verify-stream); do
        pgrep -P "$m" > /dev/null && working=$m
    done
    [ -n "$working" ] && [ -n "$(ls "$WORK/runs")" ] && break
    sleep 0.1
done
check "a warm verifier was found at work" [ -n "$working" ]
[ -n "$working" ] && kill -9 "$working"
wait "$slow_submit"
check "the submission under the killed verifier gets its answer: $(cat "$WORK/slow.code") $(cat "$WORK/slow.resp")" \
    [ "$(cat "$WORK/slow.code")" = 201 ]
check "its replay was verified again by a fresh verifier" [ "$(ls "$WORK/runs" | wc -l)" -ge 2 ]
members=$(pgrep -P "$PID_warm" -f -- --verify-stream | tr '\n' ' ')
check "the pool replaced the killed verifier ($working; now: $members)" \
    bash -c "[ -n '$members' ] && ! grep -qw '$working' <<< '$members'"
"$TESTS/fake_replay.sh" 10 2 afterthekill > "$WORK/after.rpl"
submit "$URL_warm" After "$WORK/after.rpl"
check "the next submission is verified as ever ($STATUS)" [ "$STATUS" = 201 ]

# crash_run KIND DB: submits every replay, with kills, until all were answered 201.
crash_run() {
    local kind=$1 db=$2 accepted=$WORK/$1.accepted
    : > "$accepted"
    local round=0 kills=0 window=140
    while [ "$(wc -l < "$accepted")" -lt $COUNT ] && [ $round -lt 60 ]; do
        round=$((round + 1))
        start_board "$kind$round" "$db" --submit-burst 100000
        local url_var=URL_$kind$round pid_var=PID_$kind$round
        local url=${!url_var} pid=${!pid_var}
        # The kill comes 10..150 ms into this round's submissions: a few get through. On a
        # busy machine, where a round of none getting through shows a verification takes
        # longer, the window doubles (to 5 s at most); where a round took more than four
        # (warm verifiers are quick), it halves, so that the replays last several kills.
        local answered_before delay=$((10 + RANDOM * window / 32768))
        answered_before=$(wc -l < "$accepted")
        (sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"; kill -9 "$pid" 2>/dev/null) &
        local killer=$!
        local i code cut_short=0
        for i in $(seq 1 $COUNT); do
            grep -q " d-$i.rpl\$" "$accepted" && continue
            code=$(curl -s -o "$WORK/resp" -w '%{http_code}' --max-time 30 -X POST \
                --url-query "name=Dur $i" --data-binary "@$WORK/d-$i.rpl" "$url/api/runs")
            if [ "$code" = 201 ] || [ "$code" = 200 ]; then
                echo "$code $(sed -n 's/^{"id":\([0-9]*\).*/\1/p' "$WORK/resp") d-$i.rpl" >> "$accepted"
            elif [ "$code" != 000 ]; then
                fail "$kind: d-$i.rpl answered $code: $(cat "$WORK/resp")"
            fi
            kill -0 "$pid" 2>/dev/null || { cut_short=1; break; }
        done
        wait "$killer"
        kills=$((kills + cut_short))
        local answered_now
        answered_now=$(wc -l < "$accepted")
        if [ "$answered_now" = "$answered_before" ] && [ $window -lt 5000 ]; then
            window=$((window * 2))
        elif [ $((answered_now - answered_before)) -gt 4 ] && [ $window -gt 20 ]; then
            window=$((window / 2))
        fi
        kill -9 "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    echo "$kind: $round server runs, $kills killed with SIGKILL while submitting, $(grep -c '^201' "$accepted") answered 201"
    check "$kind: the server was killed during submissions" [ "$kills" -ge 3 ]
    check "$kind: every replay answered in the end" [ "$(wc -l < "$accepted")" = $COUNT ]

    start_board "${kind}final" "$db"
    local url_var=URL_${kind}final
    local url=${!url_var} code id file missing=0
    while read -r code id file; do
        curl -s -o "$WORK/back.rpl" "$url/api/runs/$id/replay"
        cmp -s "$WORK/back.rpl" "$WORK/$file" || { missing=$((missing + 1)); echo "  run $id ($file) is not stored"; }
    done < "$accepted"
    check "$kind: every run answered 201 or 200 is stored with its replay" [ $missing = 0 ]
    check "$kind: one run per replay" [ "$(db_sql "$kind" "$db" 'SELECT count(*) FROM runs')" = $COUNT ]
    check "$kind: one replay per run" [ "$(db_sql "$kind" "$db" 'SELECT count(*) FROM replays')" = $COUNT ]
    check "$kind: no run without its replay" [ "$(db_sql "$kind" "$db" \
        'SELECT count(*) FROM runs LEFT JOIN replays ON replays.hash = runs.hash WHERE replays.hash IS NULL')" = 0 ]
    check "$kind: the change counter saw every run" \
        [ "$(db_sql "$kind" "$db" 'SELECT generation FROM board_state')" = $COUNT ]
    req GET "$url/api/boards/10/2?limit=100"
    check "$kind: the board lists them all" [ "$(grep -o '"id"' <<< "$BODY" | wc -l)" = $COUNT ]
}

# The shell reports each killed server; those lines are what the test does, not news.
crash_run sqlite "$WORK/board.db" 2> >(grep -v ' Killed ' >&2)
check "sqlite: integrity check" [ "$(sqlite3 "$WORK/board.db" 'PRAGMA integrity_check')" = ok ]
start_postgres
crash_run pg "$PG_URL" 2> >(grep -v ' Killed ' >&2)
finish
