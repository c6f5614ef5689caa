#!/usr/bin/env bash
# Two boards on one PostgreSQL behind a real nginx, configured by the site file the
# package ships (board/packaging/zumble-board.nginx, its ports replaced): a run sent
# through nginx shows on both servers; names, duplicates and the held limit hold across
# them; one server killed with SIGKILL while runs are sent loses nothing answered (nginx
# sends the post again to the other); SIGTERM drains one while nginx sends new posts to
# the other. Prints reads and verifications a second through nginx, one server against
# two (docs/performance.md). Bounded: every wait polls what a server shows, a minute at most.
source "$(dirname "$0")/board_common.bash"
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$NGINX" ] || { echo "SKIP: nginx is not installed (scripts/install-deps.sh board)"; exit 77; }
FAKE=$TESTS/fake_zumble.sh
start_postgres

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
within() {  # within SECONDS COMMAND...: polls until the command succeeds; false at the limit
    local end=$(($(date +%s) + $1))
    shift
    until "$@"; do [ "$(date +%s)" -lt "$end" ] || return 1; sleep 0.1; done
}
PA=$(free_port) PB=$(free_port) NP=$(free_port)
NGX=$WORK/nginx
mkdir -p "$NGX"
[ "$(id -u)" -eq 0 ] && chown nobody "$NGX"  # its workers run as nobody under root

# The site file with this test's ports; `down` marks a server nginx is not to use.
site() {  # site B_STATE: "" or " down"
    sed -e "s/listen 80;/listen 127.0.0.1:$NP;/" -e "s/127\.0\.0\.1:8080 /127.0.0.1:$PA /" \
        -e "s/127\.0\.0\.1:8081 \(.*\);/127.0.0.1:$PB \1$1;/" \
        "$SRC/board/packaging/zumble-board.nginx" > "$NGX/site.conf"
    grep -q "127.0.0.1:$NP;" "$NGX/site.conf" && grep -q "127.0.0.1:$PA " "$NGX/site.conf" &&
        grep -q "127.0.0.1:$PB " "$NGX/site.conf"
}
cat > "$NGX/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $NGX/nginx.pid;
error_log $NGX/error.log;
events { worker_connections 1024; }
http {
    access_log $NGX/access.log;
    client_body_temp_path $NGX/body;
    proxy_temp_path $NGX/proxy;
    fastcgi_temp_path $NGX/fastcgi;
    uwsgi_temp_path $NGX/uwsgi;
    scgi_temp_path $NGX/scgi;
    include $NGX/site.conf;
}
CONF
NGINX_PID=""
start_nginx() {
    "$NGINX" -p "$NGX" -c "$NGX/nginx.conf" -e "$NGX/error.log" &
    NGINX_PID=$!
    PIDS+=("$NGINX_PID")
    within 60 bash -c '[ "$(curl -s -o /dev/null -w "%{http_code}" "$1/healthz")" = 200 ]' _ "$N" ||
        { echo "FAIL: nginx did not start"; cat "$NGX/error.log"; exit 1; }
}
stop_nginx() { kill "$NGINX_PID"; wait "$NGINX_PID" 2> /dev/null; }
N=http://127.0.0.1:$NP
# No clips: their making would take the machine the figures measure.
OPTS=(--zumble "$FAKE" --trust-proxy --public-url "$N" --submit-burst 100000 --max-held 2 --no-clips)
check "the site file takes this test's ports" site " down"

# fake FILE FLIES SPEED INPUTS [KEY=VALUE...]: a stand-in replay.
fake() { "$TESTS/fake_replay.sh" "$2" "$3" "$4" 1 "${@:5}" > "$1"; }
letters() { printf '%s' "$1" | tr 0-9 a-j; }
# via URL NAME FILE [curl options]: a post; sets STATUS and BODY.
via() { req POST "$1/api/runs" --url-query "name=$2" --data-binary "@$3" "${@:4}"; }

# Figures, one server and then two behind nginx: board reads (wrk) and verifications
# (60 rounds sent six at a time, each from an address of its own: an address has one
# verification pending at a time). With the game verifying, the rounds are one play a
# person could make left in 60 ways: each verified, the first stored, the others
# refused as its copies (409); a play for each figure. Otherwise distinct stand-in rounds.
if [ "$REAL_REPLAYS" = 1 ]; then
    for tag in one:1700070000 two:1700080000; do
        python3 "$SRC/tests/e2e/human_round.py" "$GAME" "$SRC" "$WORK/m-${tag%:*}-%d.rpl" \
            --time "${tag#*:}" --variants 60 > /dev/null &
    done
    wait
fi
measure() {  # measure LABEL TAG FIRST_SERVER_URL
    local reads="-" straight="-" start ms ok
    if command -v wrk > /dev/null; then
        reads=$(wrk -t2 -c32 -d5s "$N/api/boards" 2> /dev/null | sed -n 's/^Requests\/sec: *//p')
        straight=$(wrk -t2 -c32 -d5s "$3/api/boards" 2> /dev/null | sed -n 's/^Requests\/sec: *//p')
    fi
    [ "$REAL_REPLAYS" = 1 ] || for i in $(seq 1 60); do fake "$WORK/m-$2-$i.rpl" 100 1 "m$2$(letters "$i")x"; done
    start=$(now_ms)
    seq 1 60 | xargs -P6 -I{} curl -s -o /dev/null -w '%{http_code}\n' --max-time 60 -X POST \
        --url-query "name=M$2{}" --interface "127.0.8.{}" \
        --data-binary "@$WORK/m-$2-{}.rpl" "$N/api/runs" > "$WORK/m-$2.codes"
    ms=$(($(now_ms) - start))
    ok=$(grep -c '^\(201\|409\)$' "$WORK/m-$2.codes")
    check "$1: the 60 rounds verified ($(sort "$WORK/m-$2.codes" | uniq -c | xargs))" [ "$ok" = 60 ]
    echo "figures: $1: reads through nginx $reads req/s, from the first server straight $straight req/s (wrk -t2 -c32 /api/boards);" \
        "verifications $((ok * 1000 / (ms > 0 ? ms : 1))).$(((ok * 10000 / (ms > 0 ? ms : 1)) % 10))/s (60 in $ms ms);" \
        "load average $(cut -d' ' -f1-3 /proc/loadavg)"
}
stop_board() { kill "$1"; wait "$1" 2> /dev/null; }
start_board ma "$PG_URL" "${OPTS[@]}" --zumble "$VERIFIER" --port "$PA"
start_nginx
measure "one server" one "$URL_ma"
stop_nginx
start_board mb "$PG_URL" "${OPTS[@]}" --zumble "$VERIFIER" --port "$PB"
site ""
start_nginx
measure "two servers" two "$URL_ma"
# The rest with the stand-in, whose rounds say plainly what they are (a bot's, a slow one).
stop_board "$PID_ma"
stop_board "$PID_mb"
start_board a "$PG_URL" "${OPTS[@]}" --port "$PA"
start_board b "$PG_URL" "${OPTS[@]}" --port "$PB"

# A run sent through nginx shows on both servers within their refresh interval.
fake "$WORK/seen.rpl" 10 2 seenrun
via "$N" Seen "$WORK/seen.rpl"
check "through nginx: stored (got $STATUS: $BODY)" [ "$STATUS" = 201 ]
seen=$(json_field id)
on_board() { curl -s "$1/api/boards/10/2" | grep -q "\"id\":$2,"; }
start=$(now_ms)
check "through nginx: the run on the first server's board" within 60 on_board "$URL_a" "$seen"
check "through nginx: the run on the second server's board" within 60 on_board "$URL_b" "$seen"
echo "a run sent through nginx showed on both servers after $(($(now_ms) - start)) ms"

# A room made through nginx, followed live through it twice (its WebSocket upgrade passed
# on), whichever server each time: the one that holds the room or the other, which passes
# the link on to it through the database. Each follower gets the room's state.
req POST "$N/api/rooms" -H 'Content-Type: application/json' --data-binary '{"flies":10,"speed":2}'
check "a room made through nginx (got $STATUS)" [ "$STATUS" = 201 ]
room=$(json_field id)
for n in 1 2; do
    python3 "$TESTS/room_follower.py" "${N/http:/ws:}/api/rooms/$room/live" "$WORK/nfollow$n.txt" '"state":"lobby"'
    rc=$?
    check "the room followed through nginx, time $n (exit $rc, $(head -1 "$WORK/nfollow$n.txt"))" [ "$rc" = 0 ]
done

# Names, duplicates and the held limit hold across both servers (each asked directly).
fake "$WORK/ann1.rpl" 10 2 annfirst
via "$URL_a" Ann "$WORK/ann1.rpl" -H 'X-Forwarded-For: 192.0.2.1'
check "a name claimed on the first server (got $STATUS)" [ "$STATUS" = 201 ]
ann_key=$(sed -n 's/.*"key":"\([^"]*\)".*/\1/p' <<< "$BODY")
fake "$WORK/ann2.rpl" 10 2 annsecond
via "$URL_b" ANN "$WORK/ann2.rpl" -H 'X-Forwarded-For: 192.0.2.2'
check "... taken on the second without its key: 403 name_taken ($BODY)" eval '[ "$STATUS" = 403 ] && grep -q name_taken <<< "$BODY"'
via "$URL_b" Ann "$WORK/ann2.rpl" -H 'X-Forwarded-For: 192.0.2.1' -H "Authorization: Bearer $ann_key"
check "... and with it: 201 (got $STATUS)" [ "$STATUS" = 201 ]
for u in "$URL_a" "$URL_b" "$N"; do
    via "$u" Copycat "$WORK/ann1.rpl" -H 'X-Forwarded-For: 192.0.2.3'
    check "the first server's run under another name at $u: 409 duplicate ($STATUS)" [ "$STATUS" = 409 ]
    via "$u" Ann "$WORK/ann1.rpl" -H 'X-Forwarded-For: 192.0.2.1'
    check "the same run again under its name at $u: 200 (got $STATUS)" [ "$STATUS" = 200 ]
done
fake "$WORK/bot1.rpl" 10 2 botone style=bot
fake "$WORK/bot2.rpl" 10 2 bottwo style=bot
fake "$WORK/bot3.rpl" 10 2 botthree style=bot
via "$URL_a" Robo1 "$WORK/bot1.rpl" -H 'X-Forwarded-For: 192.0.2.77'
check "held on the first server (got $STATUS)" [ "$STATUS" = 202 ]
via "$URL_b" Robo2 "$WORK/bot2.rpl" -H 'X-Forwarded-For: 192.0.2.77'
check "held on the second server (got $STATUS)" [ "$STATUS" = 202 ]
for u in "$URL_a" "$URL_b"; do
    via "$u" Robo3 "$WORK/bot3.rpl" -H 'X-Forwarded-For: 192.0.2.77'
    check "a third held run from that address at $u: 429 ($STATUS $BODY)" eval '[ "$STATUS" = 429 ] && grep -q too_many_held <<< "$BODY"'
done
# Through nginx the sender is the address nginx saw, whatever X-Forwarded-For it sent.
for n in 1 2 3; do
    fake "$WORK/nbot$n.rpl" 10 2 "nbot$(letters "$n")" style=bot
    via "$N" "Nbot$n" "$WORK/nbot$n.rpl" --interface 127.0.4.4 -H "X-Forwarded-For: 198.51.100.$n"
    echo "$STATUS" >> "$WORK/nbot.codes"
done
check "held through nginx, a forged X-Forwarded-For: two held, the third 429 ($(xargs < "$WORK/nbot.codes"))" \
    [ "$(xargs < "$WORK/nbot.codes")" = "202 202 429" ]
check "... filed under the address nginx saw" [ "$(db_sql pg "$PG_URL" "SELECT count(*) FROM runs WHERE sender = '127.0.4.4'")" = 2 ]

# One server killed with SIGKILL while three senders post through nginx: every post is
# answered 201 (or 200, where the killed server had stored it), and every run answered is
# stored, once.
: > "$WORK/kill.log"
for s in 1 2 3; do
    (
        for i in $(seq 1 15); do
            f=$WORK/k-$s-$i.rpl
            fake "$f" 30 3 "k$(letters "$s")q$(letters "$i")x"
            code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 60 -X POST \
                --url-query "name=K$s-$i" --interface "127.0.5.$s" --data-binary "@$f" "$N/api/runs")
            echo "K$s-$i $code" >> "$WORK/kill.log"
        done
    ) &
    eval "sender$s=\$!"
done
check "killing: some runs answered first" within 60 bash -c '[ "$(grep -c " 20[01]$" "$1" 2> /dev/null)" -ge 6 ]' _ "$WORK/kill.log"
kill -9 "$PID_a"
wait "$PID_a" 2> /dev/null
wait "$sender1" "$sender2" "$sender3"
check "killing: all 45 posts answered 201 or 200 ($(cut -d' ' -f2 "$WORK/kill.log" | sort | uniq -c | xargs))" \
    [ "$(grep -c ' 20[01]$' "$WORK/kill.log")" = 45 ]
lost=""
while read -r name code; do
    case $code in 20[01]) ;; *) continue ;; esac
    [ "$(db_sql pg "$PG_URL" "SELECT count(*) FROM runs WHERE name = '$name'")" = 1 ] || lost+=" $name"
done < "$WORK/kill.log"
check "killing: every answered run stored once (lost or doubled:${lost:- none})" [ -z "$lost" ]
grep -c 'upstream' "$NGX/error.log" | sed 's/^/nginx logged upstream errors: /'

# SIGTERM drains the first server (started again) while nginx sends new posts to the
# other: its readiness false, a post sent to it straight 503 with Retry-After, the slow
# posts in hand answered 201, exit 0; every post through nginx answered 201.
start_board a2 "$PG_URL" "${OPTS[@]}" --port "$PA"
for n in 1 2 3; do
    fake "$WORK/slow$n.rpl" 10 3 "slow$(letters "$n")"
    curl -s -o /dev/null -w '%{http_code}\n' --max-time 120 -X POST --url-query "name=Slow$n" \
        --interface "127.0.6.$n" --data-binary "@$WORK/slow$n.rpl" "$URL_a2/api/runs" > "$WORK/slow$n.code" &
    eval "slow$n=\$!"
done
in_hand() { [ "$(ss -Htn state established "( sport = :$PA and dst 127.0.6.0/24 )" | awk '$1 == 0' | wc -l)" -ge 3 ]; }
check "drain: three slow posts in hand" within 60 in_hand
kill -TERM "$PID_a2"
check "drain: the first server not ready" within 60 bash -c '[ "$(curl -s "$1/readyz")" = "not ready: draining" ]' _ "$URL_a2"
check "drain: the second still ready" [ "$(curl -s "$URL_b/readyz")" = ready ]
fake "$WORK/late.rpl" 10 3 lateone
STATUS=$(curl -s -D "$WORK/late.headers" -o /dev/null -w '%{http_code}' -X POST --url-query name=Late \
    --data-binary "@$WORK/late.rpl" "$URL_a2/api/runs")
check "drain: a post sent to it straight: 503 (got $STATUS)" [ "$STATUS" = 503 ]
check "drain: ... with Retry-After" grep -qi '^Retry-After: ' "$WORK/late.headers"
for i in 1 2 3 4; do
    fake "$WORK/during$i.rpl" 30 4 "during$(letters "$i")"
    via "$N" "During$i" "$WORK/during$i.rpl" --interface 127.0.7.$i
    echo "$STATUS" >> "$WORK/during.codes"
done
check "drain: posts through nginx meanwhile all 201 ($(xargs < "$WORK/during.codes"))" \
    [ "$(xargs < "$WORK/during.codes")" = "201 201 201 201" ]
wait "$PID_a2"
rc=$?
wait "$slow1" "$slow2" "$slow3"
check "drain: exit 0 (got $rc)" [ "$rc" = 0 ]
check "drain: the slow posts answered 201 ($(cat "$WORK"/slow?.code | xargs))" \
    [ "$(cat "$WORK"/slow?.code | xargs)" = "201 201 201" ]
req GET "$N/api/boards/10/3"
check "through nginx after all that: the slow runs shown" [ "$(grep -o '"name":"Slow[123]"' <<< "$BODY" | wc -l)" = 3 ]
stop_nginx
finish
