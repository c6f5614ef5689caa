#!/usr/bin/env bash
# Rooms on a real board (SQLite, then PostgreSQL with two servers, racers reaching the
# room through either): a room made and read, racers joining
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

# watched FILE REPLAY: whether a spectator's records (FILE, as room_follower.py
# --records keeps them) are the racer's round: its header as it began first, then frames
# and the end, which put together are the replay byte for byte.
watched() {
    python3 - "$@" <<'PY'
import struct, sys
raw, replay = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
records, at = [], 0
while at < len(raw):
    n = struct.unpack_from(">I", raw, at)[0]
    records.append(raw[at + 4:at + 4 + n])
    at += 4 + n
kinds = "".join(chr(r[0]) for r in records)
began = bytearray(replay[:68])
struct.pack_into("<IIII", began, 48, 0xFFFFFFFF, 0, 0, 0)
end = records[-1][1:] if records else b""
whole = end[:68] + b"".join(r[1:] for r in records if r[:1] == b"f") + end[68:]
ok = kinds[:1] == "h" and kinds[-1:] == "e" and set(kinds[1:-1]) <= {"f"} and \
    records[0][1:] == bytes(began) and whole == replay
print(f"{len(records)} records, {len(whole)} of {len(replay)} bytes")
sys.exit(0 if ok else 1)
PY
}

# watch_deaf URL ROOM NAME: the room's spectators' places filled with sixteen watching
# NAME who never read a byte (the smallest receive buffer); a seventeenth is turned away
# with 1013. Prints "CODE" for it, then waits (two minutes at most) for a spectator to get
# a place again, the board having dropped the deaf ones, and prints "place again".
watch_deaf() {
    python3 - "$@" <<'PY'
import base64, os, socket, struct, sys, time
from urllib.parse import urlsplit
parts, room, name = urlsplit(sys.argv[1]), sys.argv[2], sys.argv[3]
def watch(deaf):
    s = socket.socket()
    if deaf:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
    s.settimeout(60)
    s.connect((parts.hostname, parts.port))
    s.sendall((f"GET /api/rooms/{room}/live?watch={name} HTTP/1.1\r\nHost: {parts.netloc}\r\n"
               "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
               f"Sec-WebSocket-Key: {base64.b64encode(os.urandom(16)).decode()}\r\n\r\n").encode())
    return s
def first_message(s):
    """The opcode and payload of the first message after the handshake."""
    data = b""
    while True:
        chunk = s.recv(65536)
        if not chunk:
            return None, b""
        data += chunk
        if b"\r\n\r\n" in data:
            rest = data.split(b"\r\n\r\n", 1)[1]
            if len(rest) >= 2 and len(rest) >= 2 + (rest[1] & 127):
                return rest[0] & 15, rest[2:2 + (rest[1] & 127)]
deaf = [watch(True) for _ in range(16)]
for s in deaf:  # each one's place taken (the answer to its upgrade), nothing more read
    head = b""
    while b"\r\n\r\n" not in head:
        head += s.recv(1)
extra = watch(False)
op, payload = first_message(extra)
print(f"{struct.unpack('>H', payload[:2])[0]} {payload[2:].decode()}" if op == 8 else f"opcode {op}", flush=True)
extra.close()
for _ in range(120):
    s = watch(False)
    op, _ = first_message(s)
    s.close()
    if op == 1:
        print("place again", flush=True)
        break
    time.sleep(1)
PY
}

# race_rooms NAME DB [two]: the whole race on a board of its own over DB; with `two`, on
# two servers over one PostgreSQL database: the room is made on the first (U), and Bob,
# Dee, the spectators, the room's page and the rounds refused reach it through the
# second (UB).
race_rooms() {
    echo "rooms on $1${3:+, two servers}"
    start_board "$1" "$2" --submit-burst 1000
    local url=URL_$1
    U=${!url}
    UB=$U
    if [ "${3:-}" = two ]; then
        start_board "${1}b" "$2" --submit-burst 1000
        url=URL_${1}b
        UB=${!url}
    fi
    # via NAME: the server a racer reaches the room through.
    via() { case $1 in Bob | Dee | Hal) echo "$UB" ;; *) echo "$U" ;; esac; }
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
        jpost "$(via $name)/api/rooms/$ROOM/join" "{\"name\":\"$name\"}"
        check "$name joins: 201 ($BODY)" [ "$STATUS" = 201 ]
        PASS[$name]=$(jget racer)
    done
    jpost "$(via Hal)/api/rooms/$ROOM/join" '{"name":"Hal"}'
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
    python3 "$TESTS/room_follower.py" "${UB/http:/ws:}/api/rooms/$ROOM/live?racer=${PASS[Cy]}" \
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
    round() { req POST "$1/api/rooms/$ROOM/round?racer=$2" --data-binary "@$3" \
        -H 'Content-Type: application/octet-stream' "${@:4}"; }
    round "$UB" "${PASS[Cy]}" "$WORK/cy-fast.rpl"
    check "a round ahead of real time: 409 too_fast ($BODY)" [ "$STATUS $(jget error)" = "409 too_fast" ]
    round "$(via Dee)" "${PASS[Dee]}" "$WORK/dee.rpl"
    check "a round on another seed: 409 room_seed ($BODY)" [ "$STATUS $(jget error)" = "409 room_seed" ]
    round "$U" "${PASS[Dee]}" "$WORK/dee.rpl"
    check "one answer a racer a race: 409 sent" [ "$STATUS $(jget error)" = "409 sent" ]

    local live=${U/http:/ws:}/api/rooms/$ROOM/live liveb=${UB/http:/ws:}/api/rooms/$ROOM/live
    # Spectators: one follows Ann's round as it comes; sixteen who never read watch Bob's.
    python3 "$TESTS/room_follower.py" "$liveb?watch=Ann" "$WORK/ann-watched-$1.txt" never \
        --records "$WORK/ann-watched-$1.bin" &
    local spectator=$!
    for _ in $(seq 600); do [ "$(cat "$WORK/ann-watched-$1.txt" 2> /dev/null | wc -l)" -ge 2 ] && break; sleep 0.1; done
    watch_deaf "$UB" "$ROOM" Bob > "$WORK/deaf-$1.txt" &
    local deaf=$!
    for _ in $(seq 600); do [ -s "$WORK/deaf-$1.txt" ] && break; sleep 0.1; done
    check "a seventeenth spectator: closed, 1013 ($(head -1 "$WORK/deaf-$1.txt"))" \
        [ "$(head -1 "$WORK/deaf-$1.txt")" = "1013 too many spectators" ]

    # The room's page, as a browser finds it, and followed in one while the race is run.
    req GET "$UB/rooms/$ROOM"
    check "the room's page: 200 HTML naming the room and its racers" \
        [ "$STATUS $(grep -o '<h1>Friday</h1>\|data-name="Ann"\|data-name="Dee"' "$WORK/body" | wc -l)" = "200 3" ]
    req GET "$U/rooms/nosuchroom"
    check "no such room's page: 404 ($STATUS)" [ "$STATUS" = 404 ]
    check "no such room's page: a page saying so" grep -q '<h1>Not found (404)</h1>' "$WORK/body"
    local browser=""
    if [ -d "$SRC/tests/web/node_modules/playwright-core" ] && [ -x "${CHROMIUM:-/usr/bin/chromium}" ]; then
        node "$TESTS/room_page.mjs" "$UB" "$ROOM" Ann Bob > "$WORK/room-page-$1.txt" 2>&1 &
        browser=$!
    else
        echo "NOTE: no Chromium or tests/web's node modules; the room's page not followed in a browser"
    fi

    # Ann and Bob stream their rounds over the room's link as they would play them, in
    # real time from now on (each from an address of their own); the board plays them as
    # they come and checks each whole at its end. Bob's link drops halfway: he connects
    # again and goes on from where the board's playing is.
    python3 "$TESTS/room_follower.py" "$live?racer=${PASS[Ann]}" "$WORK/ann-live-$1.txt" '"races":[{' \
        --race "$WORK/ann.rpl" &
    p1=$!
    ROOM_FROM=127.0.0.2 python3 "$TESTS/room_follower.py" "$liveb?racer=${PASS[Bob]}" "$WORK/bob-live-$1.txt" \
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
    wait $spectator
    check "the spectator got Ann's round to its end (exit $?)" [ -s "$WORK/ann-watched-$1.bin" ]
    check "the spectator's records are Ann's round, byte for byte" watched "$WORK/ann-watched-$1.bin" "$WORK/ann.rpl"
    wait $deaf
    if [ -n "$browser" ]; then
        wait $browser
        check "the room's page in a browser: $(grep -c '^ok' "$WORK/room-page-$1.txt") checks ($(grep FAIL "$WORK/room-page-$1.txt"))" \
            [ "$(grep -c '^ok' "$WORK/room-page-$1.txt") $(grep -c FAIL "$WORK/room-page-$1.txt")" = "7 0" ]
    fi
    check "spectators who read nothing dropped: a place again ($(tail -1 "$WORK/deaf-$1.txt"))" \
        [ "$(tail -1 "$WORK/deaf-$1.txt")" = "place again" ]

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
    python3 "$TESTS/room_follower.py" "$liveb?racer=${PASS[Cy]}" "$WORK/cy-live-$1.txt" never \
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
    # Only the server's own passing of a request may name another client.
    jpost "$U/api/rooms" '{"flies":30,"speed":1}' -H 'Zumble-Relay: 00000000000000000000000000000000 198.51.100.7'
    check "... a forged mark of a passed request changes nothing: 429 ($STATUS)" [ "$STATUS" = 429 ]
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
    if [ "$UB" != "$U" ]; then
        req GET "$UB/api/rooms/$ROOM"
        check "its server stopped: the other finds no such room ($STATUS $BODY)" [ "$STATUS" = 404 ]
    fi
}

race_rooms sqlite "$WORK/rooms.db"
# The same on PostgreSQL, where it is installed, with two servers on it: the names and
# runs are in its store, and the room's requests cross from one server to the other.
if ls /usr/lib/postgresql/*/bin/initdb > /dev/null 2>&1; then
    start_postgres
    race_rooms pg "$PG_URL" two
else
    echo "NOTE: PostgreSQL is not installed; rooms raced on SQLite only"
fi
# The game's own clients (zumble --room) on a board of their own (SQLite, then PostgreSQL
# with two servers, Bob reaching the room through the second): a full room and
# links that are no room's refused with one line and exit 2; two clients joining by the
# room's link, Start held until the countdown ends, their rounds played on the dealt seed
# and kept with it; then two racing as people do, each seeing the other's count, one of
# them cut off mid-round (a proxy drops the link) who reconnects and finishes, both
# verified on the room's seed, each kept round the very round a run without the room plays.
race_the_game() {
    echo "the game's own clients in rooms on $1${3:+, two servers}"
    start_board "$1" "$2" --submit-burst 1000
    local url=URL_$1
    U=${!url}
    UB=$U
    if [ "${3:-}" = two ]; then
        start_board "${1}b" "$2" --submit-burst 1000
        url=URL_${1}b
        UB=${!url}
    fi
    local name d rc
    for name in ann bob zed; do
        d=$WORK/game-$name
        rm -rf "$d"
        mkdir -p "$d"
        ln -s "$SRC/bmp" "$d/bmp"
        ln -s "$SRC/wave" "$d/wave"
    done
    # client NAME OPTIONS...: the game headless in its folder, tracing, in the background.
    client() {
        local d=$WORK/game-$1
        shift
        (cd "$d" && exec "$GAME" --headless --trace trace.txt "$@" > out.txt 2> err.txt) &
        CLIENT=$!
        PIDS+=("$CLIENT")
    }
    # until_row INDEX FIELD VALUE: the race's result row INDEX has FIELD at VALUE or more
    # (a number) or equal (a word), within two minutes.
    until_row() {
        local _ v
        for _ in $(seq 1200); do
            req GET "$U/api/rooms/$ROOM"
            v=$(jget "race.results.$1.$2" 2> /dev/null)
            if [[ "$3" =~ ^[0-9]+$ ]]; then [[ "$v" =~ ^[0-9]+$ ]] && [ "$v" -ge "$3" ] && return 0
            elif [ "$v" = "$3" ]; then return 0; fi
            sleep 0.1
        done
        return 1
    }
    seed_of() { python3 -c 'import struct, sys; print(struct.unpack_from("<I", open(sys.argv[1], "rb").read(), 32)[0])' "$1"; }

    # Links that are no room's, and a room with no place left: one line, exit 2, nothing kept.
    jpost "$U/api/rooms" '{"flies":10,"speed":2}'
    local full
    full=$(jget id)
    for name in F1 F2 F3 F4 F5 F6 F7 F8; do jpost "$U/api/rooms/$full/join" "{\"name\":\"$name\"}"; done
    for row in "$U/rooms/$full|the room is full (room_full)" \
               "$U/rooms/nosuchroom|there is no such room (now): rooms end when nobody is in them (no_room)" \
               "$U/play/?room=$full|not a room's link (http://HOST:PORT/rooms/ID)" \
               "https://127.0.0.1:1/rooms/$full|this game reaches boards over http:// only"; do
        (cd "$WORK/game-zed" && "$GAME" --headless --room "${row%%|*}" --name Zed --frames 5 > /dev/null 2> err.txt)
        rc=$?
        check "--room ${row%%|*}: exit 2, '${row#*|}' ($(cat "$WORK/game-zed/err.txt"))" \
            [ "$rc $(cat "$WORK/game-zed/err.txt")" = "2 zumble: --room ${row%%|*}: ${row#*|}" ]
    done
    check "a refused racer keeps nothing" [ ! -e "$WORK/game-zed/replays" ]
    req GET "$U/api/rooms/$full"
    check "the full room still has its eight" [ "$(jget racers.7.name) $(jget racers.8.name 2> /dev/null)" = "F8 " ]

    # Ann and Bob join by the link and press Start: held, and said as ready over the link.
    jpost "$U/api/rooms" '{"flies":10,"speed":2}'
    ROOM=$(jget id)
    printf '%s\n' "0 move 300 300" "3 click" "16 move 320 320" "18 click" > "$WORK/start.script"
    client ann --room "$U/rooms/$ROOM" --name Ann --script "$WORK/start.script"
    local ann=$CLIENT
    client bob --room "$UB/rooms/$ROOM" --name Bob --script "$WORK/start.script"
    local bob=$CLIENT
    check "both at Start: ready, the countdown" until_state countdown
    check "the race runs" until_state racing
    local seed
    seed=$(jget race.seed)
    check "Ann's round is sent as she plays it, on the seed" until_row 0 swats 0
    check "Bob's too" until_row 1 swats 0
    kill -TERM "$ann" "$bob"
    wait "$ann" "$bob"
    check "Ann's round began when the race ran, not at her click (frame 18)" \
        [ "$(grep -m1 ' scene=8 ' "$WORK/game-ann/trace.txt" | sed 's/^frame=\([0-9]*\) .*/\1/')" -gt 200 ]
    for name in ann bob; do
        check "$name's kept round: on the room's seed $seed" [ "$(seed_of "$WORK/game-$name/replays/last.zrp")" = "$seed" ]
    done

    # A race of people: the room's maker starts it, Ann and Bob play it (planned on the
    # seed as people would play it), Bob's link through a proxy that is cut mid-round.
    jpost "$U/api/rooms" '{"flies":10,"speed":2}'
    ROOM=$(jget id) HOST_PASS=$(jget host)
    local pass_ann pass_bob proxy port
    jpost "$U/api/rooms/$ROOM/join" '{"name":"Ann"}'
    pass_ann=$(jget racer)
    jpost "$U/api/rooms/$ROOM/join" '{"name":"Bob"}'
    pass_bob=$(jget racer)
    jpost "$U/api/rooms/$ROOM/start?host=$HOST_PASS" ''
    check "the race runs" until_state racing
    seed=$(jget race.seed)
    record_round "$WORK/ann-plan.zrp" "$seed" 10 2 --script "$WORK/ann.script" > "$WORK/ann.time" &
    p1=$!
    record_round "$WORK/bob-plan.zrp" "$seed" 10 2 --hand 7 --script "$WORK/bob.script" > "$WORK/bob.time" &
    p2=$!
    wait $p1 $p2 || exit 1
    rm -f "$WORK/proxy.port" "$WORK/proxy.port.log"
    python3 "$TESTS/cut_proxy.py" "${UB##*:}" 127.0.0.2 "$WORK/proxy.port" &
    proxy=$!
    PIDS+=("$proxy")
    for _ in $(seq 600); do [ -s "$WORK/proxy.port" ] && break; sleep 0.1; done
    port=$(cat "$WORK/proxy.port")
    rm -rf "$WORK"/game-{ann,bob}/{replays,hiscoa.sav,trace.txt}
    client ann --room "${U/http:/ws:}/api/rooms/$ROOM/live?racer=$pass_ann" --name Ann \
        --script "$WORK/ann.script" --time "$seed"
    ann=$CLIENT
    client bob --room "ws://127.0.0.1:$port/api/rooms/$ROOM/live?racer=$pass_bob" --name Bob \
        --script "$WORK/bob.script" --time "$seed"
    bob=$CLIENT
    check "Bob swats 3 flies" until_row 1 swats 3
    kill -USR1 "$proxy"
    # Both finish (the game leaves by itself at the plan's end: Escape twice).
    wait "$ann" "$bob" 2> /dev/null
    check "the race is over" until_state lobby
    check "Bob was cut off and came back: two connections through the proxy" \
        [ "$(grep -c . "$WORK/proxy.port.log")" -ge 2 ]
    check "the result: Ann and Bob verified, each in their time, on the seed ($BODY)" \
        [ "$(jget races.0.seed) $(jget races.0.results.0.status) $(jget races.0.results.0.time_ms) $(jget races.0.results.1.status) $(jget races.0.results.1.time_ms)" = \
          "$seed verified $(cat "$WORK/ann.time") verified $(cat "$WORK/bob.time")" ]
    # Each round went to the board once its time was known, not when its results board
    # was left: the board's copy ends there, frames before the kept round's.
    local i run
    for i in 0 1; do
        name=$([ $i = 0 ] && echo ann || echo bob)
        run=$(jget "races.0.results.$i.run")
        curl -sf -o "$WORK/$name-board.zrp" "$U/api/runs/$run/replay"
        check "the board had $name's round as its time was known ($(frames_of "$WORK/$name-board.zrp") frames of $(frames_of "$WORK/game-$name/replays/last.zrp"))" \
            [ "$(frames_of "$WORK/$name-board.zrp")" -lt "$(frames_of "$WORK/game-$name/replays/last.zrp")" ]
    done
    # Each saw the other's swats as the board played them (the one who ends first may
    # leave before the other's last).
    check "Ann saw Bob's count" grep -Eq "room=Ann:[0-9]+,Bob:[1-9]" "$WORK/game-ann/trace.txt"
    check "Bob saw Ann's count" grep -Eq "room=Ann:[1-9][0-9]*,Bob:" "$WORK/game-bob/trace.txt"
    check "one of them saw both at 10" grep -q "room=Ann:10,Bob:10" "$WORK"/game-{ann,bob}/trace.txt
    for name in ann bob; do
        check "$name's kept round is the round the plan played, on the seed" \
            cmp -s "$WORK/$name-plan.zrp" "$WORK/game-$name/replays/last.zrp"
    done
    kill -TERM "$proxy"
    if [ "$UB" != "$U" ]; then
        # The room's server killed outright (its rooms still on record as its): the other
        # tells a client so within 10 s rather than holding it.
        local pid=PID_$1
        kill -KILL "${!pid}"
        req GET "$UB/api/rooms/$ROOM"
        check "the room's server killed: the other answers 503 busy ($STATUS $BODY)" \
            [ "$STATUS $(jget error)" = "503 busy" ]
    fi
}

race_the_game game "$WORK/game.db"
# A database of its own on the cluster: Ann's and Bob's names have keys in the first.
if [ -n "$PG_DATA" ] && db_sql pg "$PG_URL" 'CREATE DATABASE game' > /dev/null; then
    race_the_game pgame "${PG_URL%/*}/game" two
fi
finish
