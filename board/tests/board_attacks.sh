#!/usr/bin/env bash
# The board against hostile clients, a locked or full database and being killed, on
# SQLite over loopback, each attack bounded in bytes and time: many ranges, floods of
# headers and bodies, slow clients, costly and repeated replays, one address hogging the
# verifier, kill -9 and SIGTERM with verifications running, cross-site posts, and the
# kept answers' ETags. The verifier is the stand-in (board/tests/fake_zumble.sh), which
# can hang, spin and count its runs.
source "$(dirname "$0")/board_common.bash"
FAKE=$TESTS/fake_zumble.sh
ATTACK=(python3 "$TESTS/board_attack.py")
RUNS=$WORK/runs
mkdir -p "$RUNS"
export FAKE_ZUMBLE_RUNS=$RUNS
runs_seen() { find "$RUNS" -mindepth 1 -maxdepth 1 | wc -l; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# wait_until SECONDS COMMAND...: polls until the command succeeds; false at the limit.
wait_until() {
    local limit=$(($(now_ms) + $1 * 1000))
    shift
    until "$@"; do
        [ "$(now_ms)" -lt "$limit" ] || return 1
        sleep 0.05
    done
}
# ended PID: the process has exited (gone, or a child of this shell not yet waited for).
ended() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null)
    [ -z "$state" ] || [[ $state == Z* ]]
}
running() { ! ended "$1"; }
all_ended() { for p in "$@"; do ended "$p" || return 1; done; }
# fake ROUND [TAG]: a stand-in replay (ROUND: letters, hang or spin), made distinct by TAG.
fake() { "$TESTS/fake_replay.sh" 10 1 "$1"; [ -z "${2:-}" ] || echo "tag $2"; }
# post FILE SOURCE [NAME [curl options]]: POST /api/runs from a loopback address; sets
# STATUS, BODY, and MS (the time to the answer).
post() {
    local file=$1 source=$2 name=${3:-Eve}
    shift 3 2>/dev/null || shift $#
    local start
    start=$(now_ms)
    req POST "$URL/api/runs" --interface "$source" --url-query "name=$name" \
        --data-binary "@$file" -H 'Content-Type: application/octet-stream' -D "$WORK/headers" "$@"
    MS=$(($(now_ms) - start))
}

mkdir -p "$WORK/site"
echo '<title>the page</title>' > "$WORK/site/index.html"
head -c $((2 * 1024 * 1024)) /dev/urandom > "$WORK/site/big.data"
echo "left by a server killed long ago" > "$WORK/replay-Ab12Cd"
start_board a "$WORK/attack.db" --zumble "$FAKE" --site "$WORK/site" --request-timeout 3000 \
    --connections-per-address 16 --submit-burst 1000 --verify-timeout 8000 \
    --public-url https://board.example
URL=$URL_a
check "start: a replay file left by an older server is removed" [ ! -e "$WORK/replay-Ab12Cd" ]
modes=$(stat -c %a "$WORK/attack.db" "$WORK/attack.db-wal" "$WORK/attack.db-shm" | tr '\n' ' ')
check "the database and its WAL files are the server's alone ($modes)" [ "$modes" = "600 600 600 " ]

# Many ranges of one file: one whole answer, never more bytes than the file.
rss0=$(rss_kb "$PID_a")
out=$("${ATTACK[@]}" ranges "$URL" /play/big.data 200)
check "200 ranges of a 2 MB file: answered 200 ($out)" grep -q '^status 200 ' <<< "$out"
check "200 ranges of a 2 MB file: no more bytes than the file ($out)" \
    [ "${out##* }" -le $((2 * 1024 * 1024 + 4096)) ]
out=$("${ATTACK[@]}" ranges "$URL" /play/big.data 1500)
check "1500 ranges: no more bytes than the file ($out)" [ "${out##* }" -le $((2 * 1024 * 1024 + 4096)) ]

# Headers: 40,000 of 8 KB are refused once the first 16 KB are in, and the server
# stops reading.
out=$("${ATTACK[@]}" headers "$URL" 40000 8192)
check "40,000 headers of 8 KB: 431 ($out)" grep -q '^status 431 ' <<< "$out"
sent=$(awk '{print $4}' <<< "$out")
check "40,000 headers of 8 KB: the server stopped taking them early ($sent bytes)" [ "$sent" -lt $((50 * 1024 * 1024)) ]
out=$("${ATTACK[@]}" headers "$URL" 100 10)
check "100 small headers: 431 ($out)" grep -q '^status 431 ' <<< "$out"

# Bodies: the limit holds on the bytes read, whatever the framing.
out=$("${ATTACK[@]}" chunked "$URL" $((400 * 1024 * 1024)))
check "400 MB chunked: 413 ($out)" grep -q '^status 413 ' <<< "$out"
sent=$(awk '{print $4}' <<< "$out")
check "400 MB chunked: the server stopped taking it early ($sent bytes)" [ "$sent" -lt $((50 * 1024 * 1024)) ]
out=$("${ATTACK[@]}" unframed "$URL" $((100 * 1024 * 1024)))
check "a body with no length: 411 ($out)" grep -q '^status 411 ' <<< "$out"
sent=$(awk '{print $4}' <<< "$out")
check "a body with no length: not read ($sent bytes taken)" [ "$sent" -lt $((50 * 1024 * 1024)) ]
check "after the floods: the server's memory grew by less than 50 MB ($rss0 -> $(rss_kb "$PID_a") kB)" \
    [ $(($(rss_kb "$PID_a") - rss0)) -lt 51200 ]

# Slow clients: 70 connections from one address trickling a header line a second. The
# address gets 16; the rest are turned away at once; the 16 are closed at the
# whole-request deadline (3 s here); another client is answered all along.
"${ATTACK[@]}" slow "$URL" 70 8 127.0.0.9 > "$WORK/slow.out" &
slow=$!
port=${URL##*:}
held_from() { [ "$(ss -Htn state established "( dport = :$port and src $1 )" | wc -l)" -ge "$2" ]; }
check "slow clients: 16 connections held" wait_until 60 held_from 127.0.0.9 16
start=$(now_ms)
req GET "$URL/api/boards"
ms=$(($(now_ms) - start))
check "slow clients: another client's read is answered (got $STATUS in $ms ms)" [ "$STATUS" = 200 ]
req GET "$URL/play/" --interface 127.0.0.9
check "slow clients: the slow address's own 17th connection is turned away (got $STATUS)" [ "$STATUS" = 429 ]
wait "$slow"
out=$(cat "$WORK/slow.out")
check "slow clients: 54 of 70 turned away at once ($out)" [ "$(awk '{print $2}' <<< "$out")" -ge 54 ]
check "slow clients: none held past the deadline ($out)" [ "$(awk '{print $6}' <<< "$out")" = 0 ]
out=$("${ATTACK[@]}" slowbody "$URL" 127.0.0.10)
check "a body sent a byte a second: 408 at the deadline ($out)" grep -q '^status 408 ' <<< "$out"

# Replays that cost the verifier: refused before it runs when the header promises more
# frames than any round of its time can have, or no time at all. A genuine replay whose
# header is made to say a 60 s round of a million frames (its checksum made right
# again), and a genuine round left before its last fly.
source "$TESTS/board_replays.bash"
patch_replay "$SRC/tests/replays/10-flies-speed-2.zrp" "$WORK/long.zrp" 48 I 60000
patch_replay "$WORK/long.zrp" "$WORK/long.zrp" 52 I 1000000
cp "$SRC/tests/replays/left-early.zrp" "$WORK/notime.zrp"
before=$(runs_seen)
post "$WORK/long.zrp" 127.0.0.1
check "a million frames for a 60 s round: 422 (got $STATUS: $BODY)" [ "$STATUS" = 422 ]
check "a million frames for a 60 s round: says why" grep -q 'more than a round of 60000 ms' <<< "$BODY"
post "$WORK/notime.zrp" 127.0.0.1
check "a round with no time: 422 (got $STATUS: $BODY)" [ "$STATUS" = 422 ]
check "costly headers: the verifier never ran" [ "$(runs_seen)" = "$before" ]

# The same refused bytes again: the same answer at once, no second verification.
fake abc > "$WORK/bad.rpl"
sed -i 's/^check .*/check 1/' "$WORK/bad.rpl"
post "$WORK/bad.rpl" 127.0.0.1
first=$BODY
check "a refused replay: 422 (got $STATUS)" [ "$STATUS" = 422 ]
before=$(runs_seen)
post "$WORK/bad.rpl" 127.0.0.1
check "the same refused replay again: 422 with the same reason" [ "$STATUS $BODY" = "422 $first" ]
check "the same refused replay again: not verified again" [ "$(runs_seen)" = "$before" ]

# One pending verification per address; another address's round is not stuck behind it.
fake hang h1 > "$WORK/hang1.rpl"
fake hang h2 > "$WORK/hang2.rpl"
fake abcdef > "$WORK/good.rpl"
before=$(runs_seen)
curl -s -o "$WORK/hang1.body" -w '%{http_code}' --interface 127.0.0.11 -X POST \
    --data-binary "@$WORK/hang1.rpl" "$URL/api/runs?name=Hog" > "$WORK/hang1.status" &
hog=$!
more_runs() { [ "$(runs_seen)" -gt "$1" ]; }
check "hog: its verification runs" wait_until 60 more_runs "$before"
post "$WORK/hang2.rpl" 127.0.0.11 Hog
check "a second submission from the hog's address: 429 at once (got $STATUS: $BODY)" [ "$STATUS" = 429 ]
check "a second submission from the hog's address: Retry-After" grep -qi '^Retry-After: ' "$WORK/headers"
post "$WORK/good.rpl" 127.0.0.12 Ann
check "another address meanwhile: 201 (got $STATUS: $BODY)" [ "$STATUS" = 201 ]
check "another address meanwhile: answered while the hog's round is still in hand" running "$hog"
wait "$hog"
check "the hog's hanging round: refused as too long ($(cat "$WORK/hang1.status"))" [ "$(cat "$WORK/hang1.status")" = 422 ]

# Verifier time is charged to its address: past its share, 429 with Retry-After, while
# other addresses go on.
start_board b "$WORK/share.db" --zumble "$FAKE" --verify-share 2 --verify-cpu 1 \
    --verify-timeout 4000 --submit-burst 1000
URL=$URL_b
for i in 1 2 3 4; do fake spin "s$i" > "$WORK/spin$i.rpl"; done
statuses=""
for i in 1 2 3 4; do
    post "$WORK/spin$i.rpl" 127.0.0.13
    statuses="$statuses $STATUS"
    [ "$STATUS" = 429 ] && break
done
check "costly replays from one address: refused, then 429 once its share is used ($statuses)" \
    grep -q ' 422 .*429$' <<< "$statuses"
check "over its share: Retry-After" grep -qi '^Retry-After: [1-9]' "$WORK/headers"
check "over its share: says so" grep -q 'used its share of the verifier' <<< "$BODY"
post "$WORK/good.rpl" 127.0.0.14 Ann
check "another address meanwhile: 201 (got $STATUS)" [ "$STATUS" = 201 ]
URL=$URL_a

# Small holes: curl's default form type is taken, a multipart body on the API is
# refused by name, a NUL in a path is nothing, the page has its security policy,
# cross-site posts are refused.
# (20 KB: over what a form-urlencoded body may be, and curl's default type is that)
{ fake abcdefg; printf 'pad %020000d\n' 0; } > "$WORK/form.rpl"
req POST "$URL/api/runs?name=Form" --data-binary "@$WORK/form.rpl"
check "curl's default form type: taken (got $STATUS: $BODY)" [ "$STATUS" = 201 ]
req POST "$URL/api/runs?name=Form" -F "replay=@$WORK/form.rpl"
check "a form posted to the API: 415 naming the type (got $STATUS: $BODY)" \
    bash -c '[ "$1" = 415 ] && grep -q multipart/form-data <<< "$2"' _ "$STATUS" "$BODY"
req GET "$URL/play/index.html%00.js" --path-as-is
check "a NUL in a path: 404 (got $STATUS)" [ "$STATUS" = 404 ]
curl -s -o /dev/null -D "$WORK/page.headers" "$URL/play/"
check "/play/ has a Content-Security-Policy" grep -qi "^Content-Security-Policy: default-src 'self'" "$WORK/page.headers"
fake abcdefgh > "$WORK/cross.rpl"
for header in "Origin: http://evil.example" "Origin: null" "Sec-Fetch-Site: cross-site"; do
    req POST "$URL/api/runs?name=Cross" --data-binary "@$WORK/cross.rpl" -H "$header"
    check "a post with '$header': 403 (got $STATUS)" [ "$STATUS" = 403 ]
    req POST "$URL/submit" -F "name=Cross" -F "replay=@$WORK/cross.rpl" -H "$header"
    check "the form posted with '$header': 403 (got $STATUS)" [ "$STATUS" = 403 ]
done
# A page on a name that resolves to the board (DNS rebinding) sends its own Host.
req POST "$URL/api/runs?name=Cross" --data-binary "@$WORK/cross.rpl" -H "Host: evil.example" \
    -H "Origin: http://evil.example"
check "a post to another host name, from its own page: 403 (got $STATUS)" [ "$STATUS" = 403 ]
# Two Host headers (curl sends one: written by hand): a proxy in front may go by the one
# the board does not. Neither is taken, on a post or a page; one of them alone is.
two_hosts() {  # two_hosts METHOD TARGET BODY_FILE HOST...: the answer's status
    python3 - "$URL" "$@" <<'PY'
import socket, sys, urllib.parse
url, method, target, body_file, hosts = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
body = open(body_file, "rb").read() if method == "POST" else b""
u = urllib.parse.urlsplit(url)
head = f"{method} {target} HTTP/1.1\r\n" + "".join(f"Host: {h}\r\n" for h in hosts)
head += f"Content-Length: {len(body)}\r\nConnection: close\r\n\r\n"
with socket.create_connection((u.hostname, u.port), timeout=5) as s:
    s.sendall(head.encode() + body)
    print(s.recv(64).split(b" ")[1].decode())
PY
}
fake abcdefghijk > "$WORK/twice.rpl"
out=$(two_hosts POST "/api/runs?name=Twice" "$WORK/twice.rpl" board.example evil.example)
check "a post with two Host headers: 400 (got $out)" [ "$out" = 400 ]
out=$(two_hosts GET /feed.atom /dev/null board.example evil.example)
check "a page asked for with two Host headers: 400 (got $out)" [ "$out" = 400 ]
out=$(two_hosts GET /feed.atom /dev/null board.example)
check "... with one of them: 200 (got $out)" [ "$out" = 200 ]
req POST "$URL/api/runs?name=Same" --data-binary "@$WORK/cross.rpl" -H "Origin: $URL" \
    -H 'Sec-Fetch-Site: same-origin' -D "$WORK/same.headers"
check "a post from the board's own page: 201 (got $STATUS)" [ "$STATUS" = 201 ]
check "the answer with a key is kept nowhere" \
    bash -c 'grep -q "\"key\":\"zk-" <<< "$1" && grep -qi "^Cache-Control: no-store" "$2"' _ "$BODY" "$WORK/same.headers"
fake abcdefghij > "$WORK/public.rpl"
req POST "$URL/api/runs?name=Public" --data-binary "@$WORK/public.rpl" -H "Host: board.example" \
    -H "Origin: https://board.example"
check "a post from the page of the board's --public-url: 201 (got $STATUS)" [ "$STATUS" = 201 ]
curl -s -o /dev/null -D "$WORK/player.headers" "$URL/players/Same"
check "a player's page is shown in no other page" grep -qi "^Content-Security-Policy: .*frame-ancestors 'none'" "$WORK/player.headers"
# Read again, the page goes out as the bytes kept with it: the same headers.
curl -s -o /dev/null -D "$WORK/kept.headers" "$URL/players/Same"
check "the kept page is shown in no other page either" \
    bash -c 'grep -qi "^Content-Security-Policy: .*frame-ancestors '"'none'"'" "$1" &&
             grep -qi "^X-Frame-Options: DENY" "$1" && grep -qi "^X-Content-Type-Options: nosniff" "$1" &&
             grep -qi "^ETag: " "$1"' _ "$WORK/kept.headers"

# The submit command prints a board's answer as plain text only.
"${ATTACK[@]}" fakeboard "$WORK/fake.port" &
fakeboard=$!
check "fake board up" wait_until 60 test -s "$WORK/fake.port"
"$BOARD" submit "$WORK/form.rpl" --name Ann --to "http://127.0.0.1:$(cat "$WORK/fake.port")" > "$WORK/submit.out" 2>&1
check "submit: a refusal exits 1" [ $? = 1 ]
check "submit: the answer is printed ($(tr -c '[:print:]\n' '?' < "$WORK/submit.out"))" grep -q 'bell' "$WORK/submit.out"
check "submit: no control bytes printed" bash -c '! LC_ALL=C grep -q "[^[:print:]]" "$1"' _ "$WORK/submit.out"
kill "$fakeboard" 2>/dev/null

# Kept answers: an ETag, 304 for it, a new one once a run is stored.
curl -s -o /dev/null -D "$WORK/etag.headers" "$URL/api/boards"
etag=$(sed -n 's/^[Ee][Tt][Aa][Gg]: *\([^\r]*\).*/\1/p' "$WORK/etag.headers")
check "boards: an ETag ($etag)" [ -n "$etag" ]
out=$(curl -s -o /dev/null -w '%{http_code} %{size_download}' -H "If-None-Match: $etag" "$URL/api/boards")
check "boards with If-None-Match: 304 and no body (got $out)" [ "$out" = "304 0" ]
req GET "$URL/" -H "If-None-Match: $etag"
check "the page is another answer: 200 (got $STATUS)" [ "$STATUS" = 200 ]
fake abcdefghi > "$WORK/new.rpl"
post "$WORK/new.rpl" 127.0.0.1 New
req GET "$URL/api/boards" -H "If-None-Match: $etag"
check "after a new run: 200 with the run (got $STATUS)" \
    bash -c '[ "$1" = 200 ] && grep -q "\"name\":\"New\"" <<< "$2"' _ "$STATUS" "$BODY"
# The pages read most are built again as a run is stored, before its answer: read right
# after it, they show it.
for _ in 1 2 3; do req GET "$URL/"; req GET "$URL/boards/10/1"; done
fake abcdefghi newer > "$WORK/newer.rpl"
post "$WORK/newer.rpl" 127.0.0.1 Newer
check "another run: 201 (got $STATUS: $BODY)" [ "$STATUS" = 201 ]
req GET "$URL/"
check "a page read often, right after a run: shows it" grep -q ">Newer<" <<< "$BODY"
req GET "$URL/boards/10/1"
check "the mode's page too" grep -q ">Newer<" <<< "$BODY"
# A path whose decoded form holds a '?' is another page than the one of its first part
# with a query: it is never given the other's kept answer.
req GET "$URL/api/players/New?x?"
check "a player with a query: 200 (got $STATUS)" [ "$STATUS" = 200 ]
req GET "$URL/api/players/New%3Fx"
check "a name holding '?' is not that player's kept answer: 404 (got $STATUS)" [ "$STATUS" = 404 ]

# The boards of every mode read at once agree with each mode's own board: the first ten
# players' bests in order, one run a player, and how many players there are. Twelve
# players in one mode, some with several runs, and a few runs in every other mode.
letters=abcdefghijklmnopqrstuvwxyz
n=0
declare -A player_key
for flies in 10 30 100 1000; do
    for speed in 1 2 3 4; do
        players=3
        [ "$flies.$speed" = 30.3 ] && players=12
        for ((p = 0; p < players; p++)); do
            for ((r = 0; r <= p % 3; r++)); do
                n=$((n + 1))
                "$TESTS/fake_replay.sh" "$flies" "$speed" "${letters:0:$((1 + (n * 7) % 25))}" > "$WORK/mode.rpl"
                echo "tag $n" >> "$WORK/mode.rpl"
                key=${player_key[$p]:-}
                post "$WORK/mode.rpl" "127.0.0.$((40 + n % 8))" "Mode Player $p" \
                    ${key:+-H "Authorization: Bearer $key"}
                [ "$STATUS" = 201 ] || fail "a run of $flies flies, speed $speed: 201 (got $STATUS: $BODY)"
                [ -n "$key" ] || player_key[$p]=$(sed -n 's/.*"key":"\([^"]*\)".*/\1/p' <<< "$BODY")
            done
        done
    done
done
agree=$(python3 - "$URL" <<'PY'
import json, sys, urllib.request
url = sys.argv[1]
read = lambda path: json.load(urllib.request.urlopen(url + path))
boards = read("/api/boards")["boards"]
bad = []
for board in boards:
    one = read("/api/boards/%d/%d?limit=10" % (board["flies"], board["speed"]))
    if [r["id"] for r in board["runs"]] != [r["id"] for r in one["runs"]] or board["total"] != one["total"]:
        bad.append("%d/%d" % (board["flies"], board["speed"]))
modes = sorted((b["flies"], b["speed"]) for b in boards)
busiest = [b for b in boards if (b["flies"], b["speed"]) == (30, 3)][0]
print("modes %d, 30/3 shows %d of %d, disagree: %s" % (len(set(modes)), len(busiest["runs"]),
      busiest["total"], " ".join(bad) or "none"))
PY
)
check "all boards at once: as each mode's own board ($agree)" [ "$agree" = "modes 16, 30/3 shows 10 of 12, disagree: none" ]

# A database locked by another writer (a long transaction elsewhere): a submission is
# answered 503 while the lock is still held (the board gives up on its own, it does not
# wait the lock out), reads go on.
# The locker waits its turn for the lock (the board may be writing at that moment) and
# holds it until $WORK/unlock appears (a minute at most).
lock_db() {
    (echo "BEGIN EXCLUSIVE; UPDATE board_state SET generation = generation;"
     wait_until 60 test -e "$WORK/unlock"
     echo "ROLLBACK;") | sqlite3 -cmd '.timeout 5000' "$1"
}
lock_db "$WORK/attack.db" &
locker=$!
locked() { ! sqlite3 -cmd '.timeout 0' "$WORK/attack.db" 'BEGIN IMMEDIATE; ROLLBACK;' 2>/dev/null; }
check "database locked by another writer" wait_until 60 locked
fake abcdefghij > "$WORK/locked.rpl"
post "$WORK/locked.rpl" 127.0.0.1 Locked
check "database locked: a submission gets 503 (got $STATUS: $BODY)" [ "$STATUS" = 503 ]
check "database locked: with Retry-After" grep -qi '^Retry-After: ' "$WORK/headers"
check "database locked: answered while the lock is still held" locked
req GET "$URL/api/boards/10/1?limit=7"
check "database locked: reads go on (got $STATUS)" [ "$STATUS" = 200 ]
touch "$WORK/unlock"
wait "$locker" 2>/dev/null

# A full disk: said before the verifier runs (a small tmpfs; needs root).
if [ "$(id -u)" = 0 ] && mkdir -p "$WORK/full" && mount -t tmpfs -o size=4m tmpfs "$WORK/full" 2>/dev/null; then
    start_board f "$WORK/full/board.db" --zumble "$FAKE" --submit-burst 1000
    dd if=/dev/zero of="$WORK/full/filler" bs=64k 2>/dev/null
    URL=$URL_f
    before=$(runs_seen)
    post "$WORK/good.rpl" 127.0.0.1 Full
    check "disk full: 507 (got $STATUS: $BODY)" [ "$STATUS" = 507 ]
    check "disk full: says so" grep -q 'disk is full' <<< "$BODY"
    check "disk full: the verifier did not run" [ "$(runs_seen)" = "$before" ]
    kill "$PID_f"; wait "$PID_f" 2>/dev/null
    umount "$WORK/full"
    URL=$URL_a
else
    echo "NOTE: the full-disk check needs root (a tmpfs); skipped"
fi

# The verifier's start failing is logged with its reason (once the warm ones it had
# started are gone).
cp "$FAKE" "$WORK/verifier.sh"
start_board x "$WORK/exec.db" --zumble "$WORK/verifier.sh"
chmod -x "$WORK/verifier.sh"
for member in $(pgrep -P "$PID_x"); do kill -9 "$member"; done
URL=$URL_x
post "$WORK/good.rpl" 127.0.0.1 Ann
check "the verifier cannot start: 500 (got $STATUS)" [ "$STATUS" = 500 ]
check "the verifier cannot start: the log says why" grep -q "cannot run the verifier .*verifier.sh: Permission denied" "$WORK/x.err"

# kill -9 with a verification running: the child dies with the server, and no replay
# lies in the work folder, during the run or after.
start_board k "$WORK/kill.db" --zumble "$FAKE" --verify-timeout 60000
URL=$URL_k
before=$(runs_seen)
curl -s -o /dev/null --interface 127.0.0.15 -X POST --data-binary "@$WORK/hang1.rpl" "$URL/api/runs?name=Hog" &
check "kill: a verification runs" wait_until 60 more_runs "$before"
child=$(pgrep -P "$PID_k" | head -1)
check "kill: the verifier is the server's child ($child)" [ -n "$child" ]
check "kill: no replay file in the work folder while it runs" bash -c '! ls "$1" | grep -q "^replay-"' _ "$WORK"
kill -9 "$PID_k"
wait "$PID_k" 2>/dev/null
check "kill -9: the verifier is gone with the server" wait_until 60 ended "$child"
check "kill -9: no replay file left" bash -c '! ls "$1" | grep -q "^replay-"' _ "$WORK"

# SIGTERM drains, a second one stops at once: with one verification hanging and three
# waiting, the drain ends on the second signal (not at its 30 s limit), all four are
# answered 503, the server is gone, its children with it.
# (The drain itself, whose work in hand finishes: board_suite.bash's run_ops_checks.)
start_board t "$WORK/term.db" --zumble "$FAKE" --verifiers 1 --queue 8 --verify-timeout 60000
URL=$URL_t
before=$(runs_seen)
for n in 1 2 3 4; do
    fake hang "term$n" > "$WORK/term$n.rpl"
    curl -s -o "$WORK/term$n.body" -D "$WORK/term$n.headers" -w '%{http_code}\n' --max-time 30 \
        --interface "127.0.0.2$n" -X POST --data-binary "@$WORK/term$n.rpl" \
        "$URL/api/runs?name=Term" > "$WORK/term$n.status" &
    eval "term$n=\$!"
done
check "SIGTERM: a verification runs" wait_until 60 more_runs "$before"
waiting_four() { [ "$(ss -Htn state established "( dport = :${URL##*:} )" | wc -l)" -ge 4 ]; }
check "SIGTERM: four submissions in hand" wait_until 60 waiting_four
children=$(pgrep -P "$PID_t" | xargs)
kill -TERM "$PID_t"
check "SIGTERM: draining" wait_until 60 grep -q 'draining' "$WORK/t.err"
kill -TERM "$PID_t"
check "SIGTERM again: the drain stops at once" wait_until 60 grep -q 'stopping at once' "$WORK/t.err"
check "SIGTERM again: the server is gone" wait_until 60 ended "$PID_t"
wait "$PID_t"
wait "$term1" "$term2" "$term3" "$term4"
check "SIGTERM again: the drain did not run to its limit" bash -c '! grep -q "drained for" "$1"' _ "$WORK/t.err"
check "SIGTERM: every submission answered 503 ($(cat "$WORK"/term?.status | xargs))" \
    [ "$(cat "$WORK"/term?.status | xargs)" = "503 503 503 503" ]
check "SIGTERM: with Retry-After" [ "$(grep -li '^Retry-After: ' "$WORK"/term?.headers | wc -l)" = 4 ]
check "SIGTERM: its verifiers are gone ($children)" all_ended $children

# The drain's limit: a verification that never ends (asleep, within its CPU limit) keeps
# a single SIGTERM's drain 30 s at most, then it is answered 503 and the server exits 0.
start_board u "$WORK/drainlimit.db" --zumble "$FAKE" --verify-timeout 120000
URL=$URL_u
before=$(runs_seen)
fake nap drainlimit > "$WORK/drainlimit.rpl"
curl -s -o /dev/null -D "$WORK/drainlimit.headers" -w '%{http_code}' --max-time 90 -X POST \
    --data-binary "@$WORK/drainlimit.rpl" "$URL/api/runs?name=Hang" > "$WORK/drainlimit.status" &
hanging=$!
check "drain limit: a verification hangs" wait_until 60 more_runs "$before"
start=$(now_ms)
kill -TERM "$PID_u"
wait "$PID_u"
rc=$?
ms=$(($(now_ms) - start))
wait "$hanging"
check "drain limit: exit 0 (got $rc)" [ "$rc" = 0 ]
check "drain limit: gone after the drain's 30 s, within a minute ($ms ms)" [ "$ms" -ge 29000 -a "$ms" -lt 60000 ]
check "drain limit: the hanging one answered 503 ($(cat "$WORK/drainlimit.status"))" [ "$(cat "$WORK/drainlimit.status")" = 503 ]
check "drain limit: the log says so" grep -q 'drained for 30 s' "$WORK/u.err"
finish
