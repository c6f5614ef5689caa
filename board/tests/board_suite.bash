# The board's end-to-end checks against one running server, shared by the SQLite and
# PostgreSQL tests: run_suite URL KIND DB (KIND sqlite or pg, DB its file or URL).
# Needs the replays of prepare_replays (board_replays.bash).

runs_stored() { db_sql "$KIND" "$DB" "SELECT count(*) FROM runs"; }
replays_stored() { db_sql "$KIND" "$DB" "SELECT count(*) FROM replays"; }

refused() {  # refused WHAT STATUS FILE [NAME [REASON]]: the status and reason, nothing stored, still serving
    local what=$1 want=$2 file=$3 name=${4-Refused} reason=${5-}
    local before_runs before_replays
    before_runs=$(runs_stored)
    before_replays=$(replays_stored)
    submit "$URL" "$name" "$file"
    check "$what: status $want (got $STATUS: $BODY)" [ "$STATUS" = "$want" ]
    check "$what: a code and a reason are given" grep -q '"error":"[a-z_]*","message":"[^"]' <<< "$BODY"
    [ -z "$reason" ] || check "$what: the reason says '$reason' ($BODY)" grep -q "$reason" <<< "$BODY"
    check "$what: no run stored" [ "$(runs_stored)" = "$before_runs" ]
    check "$what: no replay stored" [ "$(replays_stored)" = "$before_replays" ]
    req GET "$URL/api/boards"
    check "$what: the server still serves" [ "$STATUS" = 200 ]
}

run_suite() {
    URL=$1 KIND=$2 DB=$3

    req GET "$URL/api/boards"
    check "empty boards: 200" [ "$STATUS" = 200 ]
    check "empty boards: sixteen modes" [ "$(grep -o '"flies"' <<< "$BODY" | wc -l)" = 16 ]
    check "empty boards: no runs" [ "$(grep -o '"id"' <<< "$BODY" | wc -l)" = 0 ]

    # A good replay: accepted with the time the round had, first of its board.
    submit "$URL" "  Ann-1 " "$GOOD1"
    check "good replay: 201 (got $STATUS: $BODY)" [ "$STATUS" = 201 ]
    local id1
    id1=$(json_field id)
    check "good replay: the verified time ($GOOD1_TIME ms)" [ "$(json_field time_ms)" = "$GOOD1_TIME" ]
    check "good replay: its mode" grep -q "\"mode\":{\"flies\":$GOOD1_FLIES,\"speed\":$GOOD1_SPEED,\"speed_word\":\"[A-Z]*\"}" <<< "$BODY"
    check "good replay: rank 1" [ "$(json_field rank)" = 1 ]
    check "good replay: the trimmed name" [ "$(json_field name)" = "Ann-1" ]

    # The same replay again under its name is the same run (a retry); under another
    # name it is refused as a duplicate naming that run.
    submit "$URL" "Ann-1" "$GOOD1"
    check "same replay: 200 (got $STATUS)" [ "$STATUS" = 200 ]
    check "same replay: the same id" [ "$(json_field id)" = "$id1" ]
    submit "$URL" "Bob" "$GOOD1"
    check "same replay, another name: 409 (got $STATUS)" [ "$STATUS" = 409 ]
    check "same replay, another name: a duplicate of run $id1 ($BODY)" grep -q "\"error\":\"duplicate\",.*\"run\":$id1}" <<< "$BODY"
    check "same replay: stored once" [ "$(runs_stored)" = 1 ]
    check "same replay: its bytes stored once" [ "$(replays_stored)" = 1 ]

    # A second run of the same mode, by the client subcommand.
    "$BOARD" submit "$GOOD2" --name "Cy" --to "$URL" > "$WORK/submit.out" 2>&1
    local submit_rc=$?  # before the message's $(...), which sets $? of its own
    check "submit subcommand: exit 0 ($(cat "$WORK/submit.out"))" [ $submit_rc = 0 ]
    check "submit subcommand: says it in words" \
        grep -q "^on the board: run [0-9]*: Cy, $GOOD2_FLIES flies [A-Z]*, [0-9]*\.[0-9]\{3\} s, place [0-9]" "$WORK/submit.out"
    check "submit subcommand: no JSON" bash -c '! grep -q "{" "$1"' _ "$WORK/submit.out"
    local id2
    id2=$(sed -n 's/^on the board: run \([0-9]*\):.*/\1/p' "$WORK/submit.out")

    # JSON of one board: fastest first, with names, times and dates.
    req GET "$URL/api/boards/$GOOD1_FLIES/$GOOD1_SPEED"
    check "mode board: 200" [ "$STATUS" = 200 ]
    local first
    if [ "$GOOD1_TIME" -le "$GOOD2_TIME" ]; then first=$id1; else first=$id2; fi
    check "mode board: fastest first" [ "$(json_field id)" = "$first" ]
    check "mode board: both runs" [ "$(grep -o '"id"' <<< "$BODY" | wc -l)" = 2 ]
    check "mode board: Ann's time" grep -q "\"name\":\"Ann-1\",\"flies\":$GOOD1_FLIES,\"speed\":$GOOD1_SPEED,\"speed_word\":\"[A-Z]*\",\"time_ms\":$GOOD1_TIME," <<< "$BODY"
    check "mode board: a date" grep -Eq '"date":"20[0-9]{2}-[0-9]{2}-[0-9]{2}T' <<< "$BODY"
    req GET "$URL/api/boards/$GOOD1_FLIES/$GOOD1_SPEED?limit=1"
    check "limit=1: one run" [ "$(grep -o '"id"' <<< "$BODY" | wc -l)" = 1 ]
    req GET "$URL/api/boards"
    check "all boards: Ann's run" grep -q "\"id\":$id1,\"name\":\"Ann-1\"" <<< "$BODY"

    # The page: the run, its watch link, the upload form.
    req GET "$URL/"
    check "page: 200" [ "$STATUS" = 200 ]
    check "page: Ann's time" grep -q "Ann-1</a></td><td class=\"t\"><a href=\"/runs/[0-9]*\">$((GOOD1_TIME / 1000))\.$(printf %03d $((GOOD1_TIME % 1000))) s</a>" <<< "$BODY"
    check "page: watch link" grep -q "href=\"/play/?replay=/api/runs/$id1/replay\">watch" <<< "$BODY"
    local played empty
    played=$(grep -o '<section>' <<< "$BODY" | wc -l)
    empty=$(grep -o '<p class="none" id="empty">.*</p>' <<< "$BODY" | grep -o '<a href' | wc -l)
    check "page: the boards with runs ($played), the empty ones on one line ($empty)" \
        [ "$played" -ge 1 -a "$((played + empty))" = 16 ]
    check "page: upload form" grep -q 'action="/submit" enctype="multipart/form-data"' <<< "$BODY"

    # The replay comes back byte for byte.
    curl -s -o "$WORK/back.bin" "$URL/api/runs/$id1/replay"
    check "replay download: same bytes" cmp -s "$WORK/back.bin" "$GOOD1"

    # Refusals: each its status, nothing stored, the server still serving.
    refused "one input changed" 422 "$TAMPER_INPUT" Eve '"error":"desync",.*"frame":[0-9]' 
    refused "stored result changed" 422 "$TAMPER_RESULT" Eve "$TAMPER_RESULT_SAYS"
    refused "another version" 422 "$OTHER_VERSION" Eve "$OTHER_VERSION_SAYS"
    refused "truncated" 422 "$TRUNCATED" Eve "truncated"
    head -c $((10 * 1024 * 1024)) /dev/urandom > "$WORK/noise.bin"
    refused "10 MB of noise" 413 "$WORK/noise.bin"
    head -c 4000 /dev/urandom > "$WORK/small-noise.bin"
    refused "4 KB of noise" 422 "$WORK/small-noise.bin"
    : > "$WORK/empty.bin"
    refused "empty body" 400 "$WORK/empty.bin"
    local bad
    for bad in "<script>x</script>" "a&b" $'tab\there' $'ctl\x01x' "" "   " \
               "seventeen chars!!" "abcdefghijklmnopq" $'Zo\u200be' $'\u202eevil' "a/b" "quote\"d"; do
        refused "name '$bad'" 400 "$GOOD3" "$bad"
    done
    req POST "$URL/api/runs" --data-binary "@$GOOD3" -H 'Content-Type: application/octet-stream'
    check "no name: 400" [ "$STATUS" = 400 ]

    # The upload form of the page (multipart), answered with a page.
    req POST "$URL/submit" --form-string "name=Dee" -F "replay=@$GOOD3"
    check "upload form: 201 (got $STATUS)" [ "$STATUS" = 201 ]
    check "upload form: a page with the time" grep -q "Time accepted" <<< "$BODY"
    req POST "$URL/submit" --form-string "name=<i>x" -F "replay=@$GOOD3"
    check "upload form, bad name: 400" [ "$STATUS" = 400 ]
    check "upload form, bad name: no markup echoed" bash -c '! grep -q "<i>" <<< "$1"' _ "$BODY"

    # Paths and parameters the server reads itself.
    local path want
    for path in "api/runs/0/replay 404" "api/runs/abc/replay 404" "api/runs/-1/replay 404" \
                "api/runs/99999999/replay 404" "api/runs/0$id1/replay 404" \
                "api/runs/99999999999999999999999/replay 404" \
                "api/boards/11/1 404" "api/boards/10/5 404" "api/boards/x/1 404" \
                "api/boards/10/1?limit=0 400" "api/boards/10/1?limit=201 400" \
                "api/boards/10/1?limit=abc 400" "api/boards/10/1?limit=-1 400" \
                "api/boards/10/1?limit=200 200" "api/boards/10/1?offset=x 400" \
                "boards/10/5 404" "players/%E2%80%AE 404" "nothing-here 404"; do
        want=${path##* }
        req GET "$URL/${path% *}"
        check "GET /${path% *}: $want (got $STATUS)" [ "$STATUS" = "$want" ]
    done
    check "after all that: 3 runs" [ "$(runs_stored)" = 3 ]
    check "nothing half-stored" [ "$(db_sql "$KIND" "$DB" \
        "SELECT count(*) FROM runs LEFT JOIN replays ON replays.hash = runs.hash WHERE replays.hash IS NULL")" = 0 ]

    # The operator's metrics, from loopback: Prometheus' text format as promtool reads it,
    # never kept by a cache, counting what was just done.
    command -v promtool > /dev/null ||
        { fail "promtool is not installed (scripts/install-deps.sh board)"; return; }
    scrape "$URL"
    check "metrics: 200 from loopback (got $STATUS)" [ "$STATUS" = 200 ]
    check "metrics: promtool passes them ($(promtool check metrics < "$WORK/metrics.txt" 2>&1 | head -3))" \
        promtool check metrics < "$WORK/metrics.txt"
    check "metrics: never kept" grep -qi '^Cache-Control: no-store' "$WORK/metrics.headers"
    local name undocumented=""
    for name in $(awk '$1 == "#" && $2 == "TYPE" { print $3 }' "$WORK/metrics.txt"); do
        grep -q "\`$name[\`{]" "$SRC/docs/board.md" || undocumented+=" $name"
    done
    check "metrics: each named in docs/board.md (not:${undocumented:- none})" [ -z "$undocumented" ]
    check "metrics: a score of them at least" [ "$(grep -c '^# TYPE zumble_board_' "$WORK/metrics.txt")" -ge 20 ]
    check "metrics: the submissions stored (3), by their code" \
        [ "$(metric 'zumble_board_submissions_total{code="stored",status="201"}')" = 3 ]
    check "metrics: the retry (1) and the duplicate (1)" \
        [ "$(metric 'zumble_board_submissions_total{code="already_stored",status="200"}')/$(metric 'zumble_board_submissions_total{code="duplicate",status="409"}')" = 1/1 ]
    check "metrics: the verifier's verdicts (3 accepted, a desync)" \
        [ "$(metric 'zumble_board_verdicts_total{verdict="accepted"}')/$(metric 'zumble_board_verdicts_total{verdict="desync"}')" = 3/1 ]
    check "metrics: held runs (0), the database pool (8)" \
        [ "$(metric zumble_board_held_runs)/$(metric zumble_board_db_connections)" = 0/8 ]
    local read_series='zumble_board_http_request_duration_seconds_count{method="GET",route="/api/runs/*/replay",status="200"}'
    local before
    before=$(metric "$read_series")
    req GET "$URL/api/runs/$id1/replay"
    check "metrics: the replay read counted (${before:-0} before)" soon metric_above "$URL" "$read_series" "${before:-0}"
}
