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
    # A refusal for a person's browser is a small page leading home, with the same
    # status; /api/ and programs (curl's */*) get the JSON as ever.
    local browser='text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8'
    req GET "$URL/players/Nobody-here" -H "Accept: $browser"
    check "404 to a browser: 404 (got $STATUS)" [ "$STATUS" = 404 ]
    check "404 to a browser: a page saying so" grep -q '<h1>Not found (404)</h1>' <<< "$BODY"
    check "404 to a browser: leading home" grep -q '<a href="/">Back to the boards</a>' <<< "$BODY"
    req GET "$URL/api/runs/99999999/replay" -H "Accept: $browser"
    check "404 under /api/ to a browser: JSON ($STATUS)" grep -q '^{"error":"not_found"' <<< "$BODY"
    req GET "$URL/players/Nobody-here"
    check "404 to curl: JSON ($STATUS)" grep -q '^{"error":"not_found"' <<< "$BODY"

    # The board's own answers in gzip for a reader that takes it (a kept page twice: built,
    # then sent as kept; a run's page made for each request): the very bytes, smaller,
    # with Vary; each form its own ETag, and a 304 for it.
    local page
    for page in / / "/runs/$id1" "/api/boards?limit=200"; do
        curl -s -o "$WORK/plain.out" "$URL$page"
        curl -s -D "$WORK/gz.head" -H 'Accept-Encoding: gzip, br' -o "$WORK/gz.out" "$URL$page"
        check "$page in gzip: Content-Encoding, Vary" grep -qi '^Content-Encoding: gzip' "$WORK/gz.head"
        check "$page in gzip: Vary: Accept-Encoding" grep -qi '^Vary: Accept-Encoding' "$WORK/gz.head"
        check "$page in gzip: the very bytes ($(wc -c < "$WORK/gz.out") of $(wc -c < "$WORK/plain.out"))" \
            cmp -s <(gzip -dc "$WORK/gz.out") "$WORK/plain.out"
        check "$page in gzip: smaller" [ "$(wc -c < "$WORK/gz.out")" -lt "$(wc -c < "$WORK/plain.out")" ]
    done
    local gz_tag plain_tag
    curl -s -D "$WORK/gz.head" -H 'Accept-Encoding: gzip' -o /dev/null "$URL/"
    curl -s -D "$WORK/plain.head" -o /dev/null "$URL/"
    gz_tag=$(sed -n 's/^[Ee][Tt]ag: \(.*\)\r$/\1/p' "$WORK/gz.head")
    plain_tag=$(sed -n 's/^[Ee][Tt]ag: \(.*\)\r$/\1/p' "$WORK/plain.head")
    check "gzip's ETag ($gz_tag) is not the bytes' ($plain_tag)" [ -n "$gz_tag" -a "$gz_tag" != "$plain_tag" ]
    req GET "$URL/" -H 'Accept-Encoding: gzip' -H "If-None-Match: $gz_tag"
    check "gzip's ETag revalidates: 304 (got $STATUS)" [ "$STATUS" = 304 ]
    check "a small answer goes as it is" bash -c '! curl -s -D - -o /dev/null -H "Accept-Encoding: gzip" "$1/api/boards/10/1?limit=1" | grep -qi "^Content-Encoding"' _ "$URL"
    req GET "$URL/favicon.ico"
    check "favicon: 200, an .ico of the game's icons (PNG inside)" \
        bash -c '[ "$1" = 200 ] && head -c 6 "$2" | od -An -tx1 | grep -q "00 00 01 00 02 00" && grep -q PNG "$2"' _ "$STATUS" "$WORK/body"

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

# Health, a backup taken while runs are sent, and the drain, on a server of their own
# with the stand-in verifier: run_ops_checks KIND DB (a fresh database; KIND sqlite or
# pg). The copy is `zumble-board backup` on SQLite, pg_dump on PostgreSQL.
run_ops_checks() {
    local kind=$1 db=$2 rc
    local runs_dir=$WORK/ops-verifications-$kind
    mkdir -p "$runs_dir"
    # What the server tells systemd, read from a socket as systemd's own (Type=notify),
    # with a watchdog of a second.
    local notify=$WORK/notify-$kind
    python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], "a", buffering=1) as out:
    while True: out.write(s.recv(4096).decode() + "\n")' "$notify.sock" "$notify.log" &
    PIDS+=($!)
    within 60 test -S "$notify.sock" || fail "no socket for the notifications"
    NOTIFY_SOCKET=$notify.sock WATCHDOG_USEC=1000000 FAKE_ZUMBLE_RUNS=$runs_dir \
        start_board "ops$kind" "$db" --zumble "$TESTS/fake_zumble.sh" \
        --submit-burst 100000 --trust-proxy --verifiers 1
    local url_var=URL_ops$kind pid_var=PID_ops$kind
    local U=${!url_var} pid=${!pid_var}
    check "systemd: told it is ready" within 60 grep -qx READY=1 "$notify.log"
    check "systemd: the watchdog fed while /healthz answers" \
        within 60 bash -c '[ "$(grep -cx WATCHDOG=1 "$1")" -ge 3 ]' _ "$notify.log"

    # Plain answers no proxy keeps.
    local path want text
    for path in "healthz 200 ok" "readyz 200 ready"; do
        read -r path want text <<< "$path"
        STATUS=$(curl -s -D "$WORK/ops.headers" -o "$WORK/ops.body" -w '%{http_code}' "$U/$path")
        check "/$path: $want $text (got $STATUS $(cat "$WORK/ops.body"))" \
            [ "$STATUS $(cat "$WORK/ops.body")" = "$want $text" ]
        check "/$path: not kept by proxies" grep -qi '^Cache-Control: no-store' "$WORK/ops.headers"
        check "/$path: plain text" grep -qi '^Content-Type: text/plain' "$WORK/ops.headers"
    done
    check "HEAD /readyz: 200" [ "$(curl -s -I -o /dev/null -w '%{http_code}' "$U/readyz")" = 200 ]
    check "POST /readyz: 405" [ "$(curl -s -o /dev/null -w '%{http_code}' -X POST -d x "$U/readyz")" = 405 ]

    # A copy taken while runs are sent holds every run answered before it began. Each
    # answered run is written down when its answer comes; those written before the copy
    # starts were answered before it.
    local sent=$WORK/ops-sent-$kind.log copy=$WORK/ops-copy-$kind
    : > "$sent"
    (
        for i in $(seq 1 40); do
            "$TESTS/fake_replay.sh" 30 2 "opsrun$(printf '%s' "$i" | tr 0-9 a-j)" > "$WORK/ops-$kind-$i.rpl"
            code=$(curl -s -o "$WORK/ops-$kind-$i.out" -w '%{http_code}' --max-time 60 -X POST \
                --url-query "name=Op$i" -H "X-Forwarded-For: 192.0.2.$i" \
                --data-binary "@$WORK/ops-$kind-$i.rpl" "$U/api/runs")
            id=$(sed -n 's/^{"id":\([0-9]*\).*/\1/p' "$WORK/ops-$kind-$i.out")
            [ "$code" = 201 ] && echo "$id $i" >> "$sent"
        done
    ) &
    local sender=$!
    check "runs sent while copying: some answered first" within 60 bash -c '[ "$(wc -l < "$1")" -ge 5 ]' _ "$sent"
    cp "$sent" "$sent.before"
    if [ "$kind" = sqlite ]; then
        "$BOARD" backup --db "$db" "$copy.db" > "$WORK/ops-backup.out" 2>&1
    else
        pg_dump -Fc -f "$copy.dump" "$db" > "$WORK/ops-backup.out" 2>&1
    fi
    local backup_rc=$?
    check "copy taken while runs are sent: exit 0 ($(cat "$WORK/ops-backup.out"))" [ "$backup_rc" = 0 ]
    wait "$sender"
    check "runs sent while copying: all answered 201 ($(wc -l < "$sent") of 40)" [ "$(wc -l < "$sent")" = 40 ]
    local restored
    if [ "$kind" = sqlite ]; then
        restored=$WORK/ops-restored.db
        "$BOARD" restore --db "$restored" "$copy.db" > "$WORK/ops-restore.out" 2>&1
        rc=$?
        check "restore into a new file: exit 0 ($(cat "$WORK/ops-restore.out"))" [ "$rc" = 0 ]
        check "restored: whole" [ "$(sqlite3 "$restored" 'PRAGMA integrity_check')" = ok ]
        check "restored: the server's alone (mode 600)" [ "$(stat -c %a "$restored")" = 600 ]
        cp "$restored" "$WORK/ops-kept.db"
        "$BOARD" restore --db "$restored" "$copy.db" > "$WORK/ops-restore.out" 2>&1
        check "restore over a board without --replace: exit 2" [ $? = 2 ]
        check "restore over a board without --replace: says so" grep -q -- '--replace' "$WORK/ops-restore.out"
        check "restore over a board without --replace: untouched" cmp -s "$restored" "$WORK/ops-kept.db"
        "$BOARD" backup --db "$db" "$copy.db" > "$WORK/ops-backup.out" 2>&1
        rc=$?
        check "backup over an existing file: exit 1 (got $rc)" [ "$rc" = 1 ]
        check "backup over an existing file: the file kept" \
            bash -c 'sqlite3 "$1" "PRAGMA integrity_check" | grep -qx ok' _ "$copy.db"
        printf 'not a board' > "$WORK/ops-junk.db"
        "$BOARD" restore --db "$WORK/ops-junk-target.db" "$WORK/ops-junk.db" > "$WORK/ops-restore.out" 2>&1
        rc=$?
        check "restore of a file that is no board: exit 1 ($(cat "$WORK/ops-restore.out"))" [ "$rc" = 1 ]
    else
        restored="${db%/*}/opsrestored"
        psql -qtAX "$db" -c 'CREATE DATABASE opsrestored' > /dev/null
        pg_restore --no-owner -d "$restored" "$copy.dump" > "$WORK/ops-restore.out" 2>&1
        rc=$?
        check "pg_restore into a new database: exit 0 ($(head -3 "$WORK/ops-restore.out"))" [ "$rc" = 0 ]
    fi
    local id i missing=""
    while read -r id i; do
        [ "$(db_sql "$kind" "$restored" "SELECT count(*) FROM runs WHERE id = $id AND name = 'Op$i'")" = 1 ] ||
            missing+=" $id"
    done < "$sent.before"
    check "restored: every run answered before the copy began ($(wc -l < "$sent.before"); missing:${missing:- none})" \
        [ -z "$missing" ]
    check "restored: no run the board did not store" [ "$(db_sql "$kind" "$restored" \
        "SELECT count(*) FROM runs WHERE name NOT LIKE 'Op%'")" = 0 ]
    start_board "opsback$kind" "$restored" --zumble "$TESTS/fake_zumble.sh"
    local back_var=URL_opsback$kind
    read -r id i < "$sent.before"
    curl -s -o "$WORK/ops-back.rpl" "${!back_var}/api/runs/$id/replay"
    check "restored: a server on it gives run $id's replay back" cmp -s "$WORK/ops-back.rpl" "$WORK/ops-$kind-$i.rpl"
    if [ "$kind" = sqlite ]; then
        # An older copy written over a board a server runs on: the server shows the copy
        # (its generation ends above the board's, so its kept pages are built again),
        # and a copy of a newer schema is refused, the board untouched.
        local whole=$WORK/ops-whole.db older total
        "$BOARD" backup --db "$db" "$copy-all.db" > /dev/null 2>&1
        "$BOARD" restore --db "$whole" "$copy-all.db" > /dev/null 2>&1
        start_board "opswhole" "$whole" --zumble "$TESTS/fake_zumble.sh"
        board_total() { curl -s "$URL_opswhole/api/boards/30/2" | grep -q "\"total\":$1,"; }
        check "restored whole: a server on it shows the 40 runs" within 60 board_total 40
        # Its clips are tried (and dropped: the stand-in makes none) until the board says
        # none is queued or being made, then gone with the restore, to be made again from
        # the replays.
        clips_settled() {
            local id state
            for id in $(sqlite3 "$whole" 'SELECT id FROM runs'); do
                state=$(curl -s --max-time 30 "$URL_opswhole/api/runs/$id/clip" | sed -n 's/.*"clip":"\([a-z]*\)".*/\1/p')
                case $state in queued | making | "") return 1 ;; esac
            done
        }
        check "restored whole: its clip jobs done" within 120 clips_settled
        older=$(sqlite3 "$copy.db" 'SELECT count(*) FROM runs')
        "$BOARD" restore --db "$whole" "$copy.db" > "$WORK/ops-restore.out" 2>&1
        rc=$?
        check "restore over a served board without --replace: exit 2" [ "$rc" = 2 ]
        "$BOARD" restore --db "$whole" "$copy.db" --replace > "$WORK/ops-restore.out" 2>&1
        rc=$?
        check "restore --replace under a running server: exit 0 ($(cat "$WORK/ops-restore.out"))" [ "$rc" = 0 ]
        check "... the server shows the older copy's $older runs" within 60 board_total "$older"
        check "... its clips removed, to be made again" grep -q 'records of clips made forgotten; the board makes them again' "$WORK/ops-restore.out"
        # A writer that keeps the board's write lock: the restore gives up within its
        # bound, saying so, and writes nothing.
        python3 -c 'import sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute("BEGIN IMMEDIATE")
print("locked", flush=True)
time.sleep(300)' "$whole" > "$WORK/ops-locker.out" &
        local locker=$!
        PIDS+=("$locker")
        within 60 grep -q locked "$WORK/ops-locker.out" || fail "the lock was not taken"
        local start_s=$SECONDS
        "$BOARD" restore --db "$whole" "$copy-all.db" --replace > "$WORK/ops-restore.out" 2>&1
        rc=$?
        check "restore against a held write lock: exit 1, says so, within a minute ($((SECONDS - start_s)) s: $(cat "$WORK/ops-restore.out"))" \
            eval '[ "$rc" = 1 ] && grep -q locked "$WORK/ops-restore.out" && [ $((SECONDS - start_s)) -lt 60 ]'
        kill "$locker"
        wait "$locker" 2> /dev/null
        check "restore against a held write lock: the board untouched" \
            [ "$(sqlite3 "$whole" 'SELECT count(*) FROM runs')" = "$older" ]
        local version
        version=$(sqlite3 "$whole" 'SELECT version FROM schema_version')
        cp "$copy-all.db" "$WORK/ops-newer.db"
        sqlite3 "$WORK/ops-newer.db" 'UPDATE schema_version SET version = 99'
        "$BOARD" restore --db "$whole" "$WORK/ops-newer.db" --replace > "$WORK/ops-restore.out" 2>&1
        rc=$?
        check "restore of a newer schema: exit 1, says so ($(cat "$WORK/ops-restore.out"))" \
            eval '[ "$rc" = 1 ] && grep -q "newer than this server" "$WORK/ops-restore.out"'
        check "restore of a newer schema: the board untouched" \
            [ "$(sqlite3 "$whole" 'SELECT count(*) FROM runs')/$(sqlite3 "$whole" 'SELECT version FROM schema_version')" = "$older/$version" ]
        kill "$PID_opswhole"
        wait "$PID_opswhole" 2> /dev/null
    fi
    local back_pid=PID_opsback$kind
    kill "${!back_pid}"
    wait "${!back_pid}" 2> /dev/null

    # SIGTERM drains: not ready at once, new posts 503 with Retry-After, the work in hand
    # (one slow verification running, the others waiting) answered, then exit 0.
    local n port=${U##*:}
    for n in 1 2 3 4; do
        "$TESTS/fake_replay.sh" 10 3 "slow$(printf '%s' "$n" | tr 0-9 a-j)" > "$WORK/ops-slow$n.rpl"
        curl -s -o "$WORK/ops-slow$n.out" -w '%{http_code}\n' --max-time 120 -X POST \
            --url-query "name=Slow$n" -H "X-Forwarded-For: 198.51.100.$n" \
            --data-binary "@$WORK/ops-slow$n.rpl" "$U/api/runs" > "$WORK/ops-slow$n.code" &
        eval "slow$n=\$!"
    done
    local before_runs
    before_runs=$(ls "$runs_dir" | wc -l)
    # In hand: four connections whose bytes the server has read, one verification running.
    read_four() {
        [ "$(ss -Htn state established "( sport = :$1 )" | awk '$1 == 0' | wc -l)" -ge 4 ]
    }
    check "drain: four posts in hand" within 60 read_four "$port"
    check "drain: a slow verification runs" within 60 bash -c '[ "$(ls "$1" | wc -l)" -gt "$2" ]' _ "$runs_dir" "$before_runs"
    kill -TERM "$pid"
    check "drain: systemd told it is stopping" within 60 grep -qx STOPPING=1 "$notify.log"
    check "drain: not ready at once" within 60 bash -c '[ "$(curl -s "$1/readyz")" = "not ready: draining" ]' _ "$U"
    check "drain: still alive (/healthz)" [ "$(curl -s "$U/healthz")" = ok ]
    STATUS=$(curl -s -D "$WORK/ops.headers" -o "$WORK/ops.body" -w '%{http_code}' -X POST \
        --url-query name=Late --data-binary "@$WORK/ops-$kind-1.rpl" "$U/api/runs")
    check "drain: a new post 503 ($STATUS $(cat "$WORK/ops.body"))" [ "$STATUS" = 503 ]
    check "drain: ... with Retry-After" grep -qi '^Retry-After: ' "$WORK/ops.headers"
    wait "$pid"
    rc=$?
    wait "$slow1" "$slow2" "$slow3" "$slow4"
    check "drain: exit 0 (got $rc)" [ "$rc" = 0 ]
    check "drain: the work in hand answered 201 ($(cat "$WORK"/ops-slow?.code | xargs))" \
        [ "$(cat "$WORK"/ops-slow?.code | xargs)" = "201 201 201 201" ]
    check "drain: ... and stored" [ "$(db_sql "$kind" "$db" "SELECT count(*) FROM runs WHERE name LIKE 'Slow%'")" = 4 ]
}
