#!/usr/bin/env bash
# Rooms on a real board (SQLite, then PostgreSQL): a room made and read, racers joining
# (names and keys, the room's size), a race started when everyone is ready, the seed
# dealt at the countdown's end, four headless racers' rounds on it (two verified, one
# sent faster than real time, one on another seed), the result, a rematch, the rooms an
# address may open.
source "$(dirname "$0")/board_common.bash"
source "$TESTS/board_replays.bash"
[ "$REAL_REPLAYS" = 1 ] || { echo "SKIP: racing needs the game's --verify"; exit 77; }

jpost() { req POST "$1" -H 'Content-Type: application/json' --data-binary "$2" "${@:3}"; }
# The value at a path of BODY's JSON ("race.seed", "races.0.results.1.status").
jget() {
    python3 -c 'import json, sys
v = json.loads(sys.argv[1])
for k in sys.argv[2].split("."):
    v = v[int(k)] if isinstance(v, list) else v.get(k) if isinstance(v, dict) else None
    if v is None: break
print("" if v is None else json.dumps(v).strip("\""))' "$BODY" "$1"
}
# until_state STATE: polls the room until it says STATE, a minute at most.
until_state() {
    local _
    for _ in $(seq 600); do
        req GET "$U/api/rooms/$ROOM"
        [ "$(jget state)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
# frames_of REPLAY: the frames its header says.
frames_of() { python3 -c 'import struct, sys; print(struct.unpack_from("<I", open(sys.argv[1], "rb").read(), 52)[0])' "$1"; }

# followed FILE WHAT SEED ROW...: what the follower's messages (FILE) show: the countdown
# (its time, no seed), no seed before the race runs, the race on SEED, the result's ROWs.
followed() {
    python3 - "$@" <<'PY'
import json, sys
lines, what, seed, rows = open(sys.argv[1]).read().splitlines()[1:], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
states = [json.loads(line) for line in lines]
racing = [s for s in states if s["state"] == "racing"]
before = states[:states.index(racing[0])] if racing else states
ok = {
    "countdown": any(s["state"] == "countdown" and "starts_in_ms" in s["race"] and "seed" not in s["race"] for s in states),
    "no seed before": bool(racing) and all("seed" not in s.get("race", {}) for s in before),
    "seed": any(s["race"]["seed"] == seed for s in racing),
    # Every swat of both, each with the clock the board played it to, and how far behind.
    "swats": all(any(len(r.get("swat_ms", [])) == 10 and r["swat_ms"] == sorted(r["swat_ms"]) and r["swat_ms"][0] > 0
                     and r["swats"] == 10 and r["delta_ms"] >= 0 for s in racing for r in s["race"]["results"] if r["name"] == n)
                 for n in ("Ann", "Bob")),
    "result": bool(states) and states[-1]["races"] and [f'{r["name"]} {r["status"]} {r.get("time_ms")}' for r in states[-1]["races"][0]["results"][:2]] == rows,
}[what]
sys.exit(0 if ok else 1)
PY
}

# follow_many URL ROOM N: N followers of the room at once, by hand (handshakes only),
# then the first one leaves and another comes (a minute at most); prints the statuses
# as "101xK S ... LAST".
follow_many() {
    python3 - "$@" <<'PY'
import base64, os, socket, sys, time
from urllib.parse import urlsplit
parts, room, n = urlsplit(sys.argv[1]), sys.argv[2], int(sys.argv[3])
def follow():
    s = socket.create_connection((parts.hostname, parts.port), timeout=60)
    s.sendall((f"GET /api/rooms/{room}/live HTTP/1.1\r\nHost: {parts.netloc}\r\nUpgrade: websocket\r\n"
               "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
               f"Sec-WebSocket-Key: {base64.b64encode(os.urandom(16)).decode()}\r\n\r\n").encode())
    head = b""
    while b"\r\n\r\n" not in head:
        chunk = s.recv(4096)
        if not chunk: break
        head += chunk
    return s, head.split(b" ")[1].decode() if b" " in head else "none"
held = [follow() for _ in range(n)]
codes = [code for _, code in held]
ok = sum(1 for c in codes if c == "101")
out = [f"101x{ok}"] + [c for c in codes if c != "101"]
held[0][0].close()
for _ in range(600):
    s, code = follow()
    if code == "101": break
    s.close()
    time.sleep(0.1)
print(" ".join(out + [code]))
PY
}

# race_rooms NAME DB: the whole race on a board of its own over DB.
race_rooms() {
    echo "rooms on $1"
    start_board "$1" "$2" --submit-burst 1000
    local url=URL_$1
    U=${!url}
    # Making a room: the mode checked, the answer's links.
    for body in '{"flies":11,"speed":2}' '{"flies":10,"speed":5}' '{"flies":"10","speed":2}' \
                'not json' '[10,2]' '{"flies":10,"speed":2,"name":"a\u0007b"}' \
                "{\"flies\":10,\"speed\":2,\"name\":\"$(printf 'x%.0s' $(seq 65))\"}"; do
        jpost "$U/api/rooms" "$body"
        check "room $body: 400 ($STATUS $BODY)" [ "$STATUS" = 400 ]
    done
    jpost "$U/api/rooms" "{\"flies\":10,\"speed\":2,\"pad\":\"$(printf 'x%.0s' $(seq 4100))\"}"
    check "a room's body over 4 KB: 413 too_large ($STATUS)" [ "$STATUS $(jget error)" = "413 too_large" ]
    jpost "$U/api/rooms" '{"flies":10,"speed":2,"name":"Friday"}'
    check "room made: 201 ($BODY)" [ "$STATUS" = 201 ]
    ROOM=$(jget id) HOST_PASS=$(jget host)
    check "room: its page" [ "$(jget page)" = "/rooms/$ROOM" ]
    check "room: where to play" [ "$(jget play)" = "/play/?room=$ROOM" ]
    check "room: its live link" [ "$(jget live)" = "${U/http:/ws:}/api/rooms/$ROOM/live" ]
    req GET "$U/api/rooms/$ROOM"
    check "room state: 200, Friday, 10 flies at speed 2, nobody ($BODY)" \
        [ "$STATUS $(jget name) $(jget flies) $(jget speed) $(jget state) $(jget racers)" = "200 Friday 10 2 lobby []" ]
    req GET "$U/api/rooms/nosuchroom"
    check "no such room: 404" [ "$STATUS" = 404 ]

    # A name with a key joins only with it: Kay's run claims the name first.
    record_round "$WORK/kay.rpl" 1700003000 10 2 > /dev/null
    submit "$U" Kay "$WORK/kay.rpl"
    KAY_KEY=$(json_field key)
    check "Kay's run gets the name's key ($BODY)" [ -n "$KAY_KEY" ]
    jpost "$U/api/rooms/$ROOM/join" '{"name":"Kay"}'
    check "Kay without the key: 403 name_taken ($BODY)" [ "$STATUS $(jget error)" = "403 name_taken" ]
    jpost "$U/api/rooms/$ROOM/join" '{"name":"Kay","key":"zk-wrong"}'
    check "Kay with another key: 403 bad_key ($BODY)" [ "$STATUS $(jget error)" = "403 bad_key" ]
    jpost "$U/api/rooms/$ROOM/join" "{\"name\":\"Kay\",\"key\":\"$KAY_KEY\"}"
    check "Kay with the key: 201 ($BODY)" [ "$STATUS" = 201 ]
    KAY=$(jget racer)
    jpost "$U/api/rooms/$ROOM/join" '{"name":"x/y"}'
    check "a name that is no name: 400" [ "$STATUS $(jget error)" = "400 bad_name" ]

    # Eight racers fill the room; the ninth is refused, and a name like one there too.
    declare -A PASS
    for name in Ann Bob Cy Dee Eve Fay Gus; do
        jpost "$U/api/rooms/$ROOM/join" "{\"name\":\"$name\"}"
        check "$name joins: 201 ($BODY)" [ "$STATUS" = 201 ]
        PASS[$name]=$(jget racer)
    done
    jpost "$U/api/rooms/$ROOM/join" '{"name":"Hal"}'
    check "the ninth racer: 409 room_full ($BODY)" [ "$STATUS $(jget error)" = "409 room_full" ]
    jpost "$U/api/rooms/$ROOM/leave?racer=${PASS[Gus]}" ''
    check "Gus leaves: 200" [ "$STATUS" = 200 ]
    jpost "$U/api/rooms/$ROOM/join" '{"name":"ANN"}'
    check "a name like a racer's: 409 name_in_room ($BODY)" [ "$STATUS $(jget error)" = "409 name_in_room" ]
    for name in Eve Fay; do jpost "$U/api/rooms/$ROOM/leave?racer=${PASS[$name]}" ''; done
    jpost "$U/api/rooms/$ROOM/leave?racer=$KAY" ''
    jpost "$U/api/rooms/$ROOM/leave?racer=$KAY" ''
    check "a racer who left has no pass: 403 ($BODY)" [ "$STATUS $(jget error)" = "403 not_racer" ]
    jpost "$U/api/rooms/$ROOM/ready?racer=nobody" ''
    check "ready without a racer's pass: 403" [ "$STATUS" = 403 ]

    # Someone follows the room live from here to the race's result.
    python3 "$TESTS/room_follower.py" "${U/http:/ws:}/api/rooms/$ROOM/live" "$WORK/follow-$1.txt" \
        '"races":[{' &
    local follower=$!
    python3 "$TESTS/room_follower.py" "${U/http:/ws:}/api/rooms/nosuchroom/live" "$WORK/nofollow.txt" x
    check "no such room to follow: 404 ($(head -1 "$WORK/nofollow.txt"))" grep -q '^HTTP/1.1 404 ' "$WORK/nofollow.txt"
    python3 "$TESTS/room_follower.py" "${U/http:/ws:}/api/rooms/$ROOM/live" "$WORK/big.txt" never 5000
    check "a follower's message over 4 KB: closed, too big ($(tail -1 "$WORK/big.txt"))" \
        [ "$(tail -1 "$WORK/big.txt")" = "closed 1009" ]

    # Everyone ready: the countdown, and no seed until it ends. Cy says so over the room's
    # link, where what is not a ready message changes nothing.
    for name in Ann Bob; do
        jpost "$U/api/rooms/$ROOM/ready?racer=${PASS[$name]}" '{"ready":true}'
        check "$name ready: still waiting for the others ($(jget state))" [ "$(jget state)" = lobby ]
    done
    python3 "$TESTS/room_follower.py" "${U/http:/ws:}/api/rooms/$ROOM/live?racer=${PASS[Cy]}" \
        "$WORK/cy-ready-$1.txt" '{"name":"Cy","ready":true}' --say hello '{"ready":"yes"}' '{"ready":true}'
    local said=$?
    check "Cy ready over the room's link (exit $said: $(tail -1 "$WORK/cy-ready-$1.txt"))" [ $said = 0 ]
    check "Cy was not ready before saying so" grep -q '{"name":"Cy","ready":false}' "$WORK/cy-ready-$1.txt"
    python3 "$TESTS/room_follower.py" "${U/http:/ws:}/api/rooms/$ROOM/live?racer=${PASS[Cy]}" \
        "$WORK/cy-unready-$1.txt" '{"name":"Cy","ready":false}' --say '{"ready":false}'
    said=$?
    check "Cy not ready again over the link (exit $said)" [ $said = 0 ]
    jpost "$U/api/rooms/$ROOM/ready?racer=${PASS[Cy]}" '{"ready":true}'
    check "Cy ready: still waiting for Dee ($(jget state))" [ "$(jget state)" = lobby ]
    jpost "$U/api/rooms/$ROOM/ready?racer=${PASS[Dee]}" ''
    check "the last ready: the countdown ($BODY)" [ "$(jget state)" = countdown ]
    check "the countdown says when, not the seed" [ -n "$(jget race.starts_in_ms)" ] && [ -z "$(jget race.seed)" ]
    jpost "$U/api/rooms/$ROOM/ready?racer=${PASS[Ann]}" '{"ready":false}'
    check "no change of heart in a race: 409 racing" [ "$STATUS $(jget error)" = "409 racing" ]
    check "the race starts within a minute" until_state racing
    SEED=$(jget race.seed)
    NOW=$(date +%s)
    check "the seed dealt: a time of the last day ($SEED, now $NOW)" \
        [ "$SEED" -le "$NOW" ] && [ "$SEED" -gt $((NOW - 86400 - 60)) ]

    # The racers play on the seed: Ann and Bob as people do; Cy's round claims ten minutes
    # of frames, more than the race has run; Dee plays another seed.
    record_round "$WORK/ann.rpl" "$SEED" 10 2 > "$WORK/ann.time" &
    p1=$!
    record_round "$WORK/bob.rpl" "$SEED" 10 2 --hand 7 > "$WORK/bob.time" &
    p2=$!
    wait $p1 $p2 || exit 1
    record_round "$WORK/cy.rpl" "$SEED" 10 2 > /dev/null
    record_round "$WORK/dee.rpl" $((SEED + 1)) 10 2 > /dev/null
    patch_replay "$WORK/cy.rpl" "$WORK/cy-fast.rpl" 52 I 'old + 36000'
    round() { req POST "$U/api/rooms/$ROOM/round?racer=$2" --data-binary "@$3" \
        -H 'Content-Type: application/octet-stream' "${@:4}"; }
    round "$U" "${PASS[Cy]}" "$WORK/cy-fast.rpl"
    check "a round ahead of real time: 409 too_fast ($BODY)" [ "$STATUS $(jget error)" = "409 too_fast" ]
    round "$U" "${PASS[Dee]}" "$WORK/dee.rpl"
    check "a round on another seed: 409 room_seed ($BODY)" [ "$STATUS $(jget error)" = "409 room_seed" ]
    round "$U" "${PASS[Dee]}" "$WORK/dee.rpl"
    check "one answer a racer a race: 409 sent" [ "$STATUS $(jget error)" = "409 sent" ]

    # Ann and Bob stream their rounds over the room's link as they would play them, in
    # real time from now on (each from an address of their own); the board plays them as
    # they come and checks each whole at its end. Bob's link drops halfway: he connects
    # again and goes on from where the board's playing is.
    local live=${U/http:/ws:}/api/rooms/$ROOM/live
    python3 "$TESTS/room_follower.py" "$live?racer=${PASS[Ann]}" "$WORK/ann-live-$1.txt" '"races":[{' \
        --race "$WORK/ann.rpl" &
    p1=$!
    ROOM_FROM=127.0.0.2 python3 "$TESTS/room_follower.py" "$live?racer=${PASS[Bob]}" "$WORK/bob-live-$1.txt" \
        '"races":[{' --resume "$WORK/bob.rpl" &
    p2=$!
    wait $p1
    check "Ann streamed her round and saw the result (exit $?)" [ "$(head -1 "$WORK/ann-live-$1.txt" | cut -d' ' -f2)" = 101 ]
    wait $p2
    check "Bob streamed his round and saw the result (exit $?)" [ "$(head -1 "$WORK/bob-live-$1.txt" | cut -d' ' -f2)" = 101 ]
    check "Bob, back after his link dropped, told to go on from the frame bytes the board has" \
        grep -Eq '^\{"resume":\{"bytes":[1-9][0-9]*\}\}$' "$WORK/bob-live-$1.txt"
    for _ in $(seq 600); do req GET "$U/api/rooms/$ROOM"; [ "$(jget state)" = lobby ] && break; sleep 0.1; done
    ANN_RUN=$(jget races.0.results.0.run)

    req GET "$U/api/rooms/$ROOM"
    check "the race is over: back in the lobby ($BODY)" [ "$(jget state)" = lobby ]
    check "the result: the race's seed" [ "$(jget races.0.seed)" = "$SEED" ]
    check "the result: Ann verified in her time" \
        [ "$(jget races.0.results.0.name) $(jget races.0.results.0.status) $(jget races.0.results.0.time_ms)" = "Ann verified $(cat "$WORK/ann.time")" ]
    check "the result: Bob verified in his time" \
        [ "$(jget races.0.results.1.name) $(jget races.0.results.1.status) $(jget races.0.results.1.time_ms)" = "Bob verified $(cat "$WORK/bob.time")" ]
    check "the result: Cy refused, too fast" [ "$(jget races.0.results.2.status) $(jget races.0.results.2.reason)" = "refused too_fast" ]
    check "the result: Dee refused, another seed" [ "$(jget races.0.results.3.status) $(jget races.0.results.3.reason)" = "refused room_seed" ]
    wait "$follower"
    local followed=$?
    check "the follower saw the race to its result (exit $followed)" [ $followed = 0 ]
    for what in countdown "no seed before" seed swats result; do
        check "the follower saw: $what" followed "$WORK/follow-$1.txt" "$what" "$SEED" \
            "Ann verified $(cat "$WORK/ann.time")" "Bob verified $(cat "$WORK/bob.time")"
    done
    req GET "$U/api/runs/$ANN_RUN"
    check "Ann's run on the board, played on the seed ($BODY)" grep -q "\"played\":\"$(date -u -d "@$SEED" +%Y-%m-%dT%H:%M:%SZ)\"" <<< "$BODY"
    req GET "$U/api/boards/10/2"
    check "the mode's board lists both racers' runs ($BODY)" grep -q '"name":"Ann".*"name":"Bob"\|"name":"Bob".*"name":"Ann"' <<< "$BODY"
    round "$U" "${PASS[Ann]}" "$WORK/ann.rpl"
    check "after the race, no round is taken: 409 no_race" [ "$STATUS $(jget error)" = "409 no_race" ]

    # A rematch in the same room: ready again, or the creator starts it.
    jpost "$U/api/rooms/$ROOM/start?host=nothost" ''
    check "a start without the creator's pass: 403 not_host" [ "$STATUS $(jget error)" = "403 not_host" ]
    jpost "$U/api/rooms/$ROOM/ready?racer=${PASS[Ann]}" ''
    check "a rematch: Ann ready, the others not yet" [ "$(jget state) $(jget racers.0.ready) $(jget racers.1.ready)" = "lobby true false" ]
    jpost "$U/api/rooms/$ROOM/start?host=$HOST_PASS" ''
    check "the creator starts the rematch: race 2 counting down ($BODY)" [ "$(jget state) $(jget race.number)" = "countdown 2" ]
    # A stream ahead of real time: ten minutes of frames at once, on race 2's seed.
    check "the rematch runs" until_state racing
    python3 "$TESTS/room_follower.py" "$live?racer=${PASS[Cy]}" "$WORK/cy-live-$1.txt" never \
        --fast "$WORK/ann.rpl" "$(jget race.seed)"
    check "a stream faster than real time: closed ($(tail -1 "$WORK/cy-live-$1.txt"))" \
        [ "$(tail -1 "$WORK/cy-live-$1.txt")" = "closed 1008 too_fast" ]
    req GET "$U/api/rooms/$ROOM"
    check "Cy refused in race 2, too fast ($BODY)" \
        [ "$(jget race.results.2.name) $(jget race.results.2.status) $(jget race.results.2.reason)" = "Cy refused too_fast" ]

    # Rooms an address may keep open: four (Friday is one), then 429; another address may.
    for n in 2 3 4; do jpost "$U/api/rooms" '{"flies":30,"speed":1}'; check "room $n: 201" [ "$STATUS" = 201 ]; done
    local other
    other=$(jget id)
    jpost "$U/api/rooms" '{"flies":30,"speed":1}'
    check "a fifth room from one address: 429 too_many_rooms ($BODY)" [ "$STATUS $(jget error)" = "429 too_many_rooms" ]
    jpost "$U/api/rooms" '{"flies":30,"speed":1}' --interface 127.0.0.3
    check "another address's room: 201" [ "$STATUS" = 201 ]

    # A room takes 32 followers: the 33rd is turned away until one of them leaves.
    check "32 followers, the 33rd turned away, a place again once one leaves" \
        [ "$(follow_many "$U" "$other" 33)" = "101x32 503 101" ]

    # A server stopping closes its followers rather than waiting on them.
    python3 "$TESTS/room_follower.py" "${U/http:/ws:}/api/rooms/$ROOM/live" "$WORK/stop-$1.txt" never &
    local stop_follower=$!
    for _ in $(seq 600); do [ "$(cat "$WORK/stop-$1.txt" 2> /dev/null | wc -l)" -ge 2 ] && break; sleep 0.1; done
    local pid=PID_$1
    kill -TERM "${!pid}"
    wait "$stop_follower"
    check "stopping: the follower told so ($(tail -1 "$WORK/stop-$1.txt"))" \
        [ "$(tail -1 "$WORK/stop-$1.txt")" = "closed 1001 server stopping" ]
}

race_rooms sqlite "$WORK/rooms.db"
# The same on PostgreSQL, where it is installed: the names and runs are in its store.
if ls /usr/lib/postgresql/*/bin/initdb > /dev/null 2>&1; then
    start_postgres
    race_rooms pg "$PG_URL"
else
    echo "NOTE: PostgreSQL is not installed; rooms raced on SQLite only"
fi
finish
