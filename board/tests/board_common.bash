# Shared by the board's end-to-end tests: arguments, a scratch folder, servers started
# on loopback ports of their own and stopped at the end, HTTP calls with curl, and a
# throw-away PostgreSQL cluster.  Usage in a test: source it with BOARD GAME SRC.
set -u
BOARD=$(realpath "$1")
GAME=$(realpath -m "$2")
SRC=$(realpath "$3")
TESTS=$SRC/board/tests
WORK=$(mktemp -d /tmp/zumble-board-XXXXXX)
chmod 755 "$WORK"
PIDS=()
PG_DATA=""
FAILS=0
PASSES=0

cleanup() {
    local p
    for p in "${PIDS[@]}"; do kill -9 "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    if [ -n "$PG_DATA" ]; then as_pg pg_ctl -D "$PG_DATA" -m immediate stop > /dev/null 2>&1; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

check() {  # check "what" command...
    local what=$1
    shift
    if "$@"; then PASSES=$((PASSES + 1)); else echo "FAIL: $what"; FAILS=$((FAILS + 1)); fi
}
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
finish() {
    echo "$PASSES passed, $FAILS failed"
    [ "$FAILS" -eq 0 ]
}

# The verifier the server runs: the game itself when it has --verify, else the stand-in.
if [ -x "$GAME" ] && "$GAME" --help 2>&1 | grep -q -- '--verify'; then
    VERIFIER=$GAME
    REAL_REPLAYS=1
else
    VERIFIER=$TESTS/fake_zumble.sh
    REAL_REPLAYS=0
    echo "NOTE: $GAME has no --verify; using the stand-in verifier $VERIFIER"
fi

# game_says_keys REPLAY: whether the game's --verify says how the round was dealt
# (keys=). The board files every round by it and puts none on a board without it, so
# with an older game the tests use the stand-in, and say so.
game_says_keys() { "$GAME" --verify "$1" 2> /dev/null | grep -q ' keys=[0-9]'; }
GAME_OLDER=0
if [ "$REAL_REPLAYS" = 1 ]; then
    mkdir -p "$WORK/probe"
    ln -s "$SRC/bmp" "$WORK/probe/bmp"
    ln -s "$SRC/wave" "$WORK/probe/wave"
    printf '%s\n' "0 move 300 300" "3 click" "10 move 120 80" "12 click" "16 move 320 320" \
        "18 click" "1800 key escape" "1810 key escape" > "$WORK/probe/round.script"
    (cd "$WORK/probe" && "$GAME" --headless --autoplay --script round.script --time 1700000000 \
        --frames 1900 > /dev/null 2>&1)
    if ! game_says_keys "$WORK/probe/replays/last.zrp"; then
        VERIFIER=$TESTS/fake_zumble.sh
        REAL_REPLAYS=0
        GAME_OLDER=1
        echo "NOTE: $GAME --verify does not say keys= yet; using the stand-in verifier $VERIFIER"
    fi
fi

# start_board NAME DB [options...]: starts a server on a free port; sets URL_<NAME>
# and PID_<NAME>. Exits the test if it does not come up within 10 s. Its runs go on the
# board without a moderator's review unless the options give --review-top.
start_board() {
    local name=$1 db=$2
    shift 2
    "$BOARD" --port 0 --db "$db" --zumble "$VERIFIER" --work-dir "$WORK" --review-top 0 "$@" \
        > "$WORK/$name.out" 2>> "$WORK/$name.err" &
    local pid=$!
    PIDS+=("$pid")
    local line=""
    for _ in $(seq 600); do
        line=$(grep -o 'http://[0-9.]*:[0-9]*' "$WORK/$name.out" 2>/dev/null | head -1)
        [ -n "$line" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$line" ]; then
        echo "FAIL: board $name did not start:"; cat "$WORK/$name.err"; exit 1
    fi
    printf -v "URL_$name" '%s' "$line"
    printf -v "PID_$name" '%s' "$pid"
}

# req METHOD URL [curl options...]: sets STATUS and BODY (the response's text).
req() {
    local method=$1 url=$2
    shift 2
    STATUS=$(curl -s -o "$WORK/body" -w '%{http_code}' -X "$method" --max-time 60 "$@" "$url")
    BODY=$(tr -d '\0' < "$WORK/body")
}

# submit URL NAME FILE: POST /api/runs with the file as the body.
submit() {
    req POST "$1/api/runs" --url-query "name=$2" --data-binary "@$3" \
        -H 'Content-Type: application/octet-stream'
}

# The first value of "key" in BODY.
json_field() { grep -o "\"$1\":[^,}]*" <<< "$BODY" | head -1 | cut -d: -f2- | tr -d '"'; }

# as_pg COMMAND...: PostgreSQL refuses to run as root; a root test runs it as nobody.
as_pg() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}

# start_postgres: a cluster in $WORK/pg on a free loopback port, socket in $WORK/pg;
# sets PG_URL. Exits 77 (skipped) when PostgreSQL's programs are not installed.
start_postgres() {
    local bin
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
    [ -x "$bin/initdb" ] || { echo "SKIP: PostgreSQL is not installed"; exit 77; }
    export PATH="$bin:$PATH"
    PG_DATA=$WORK/pg/data
    mkdir -p "$WORK/pg"
    [ "$(id -u)" -eq 0 ] && chown nobody "$WORK/pg"
    as_pg initdb -D "$PG_DATA" -U board --auth=trust -E UTF8 --no-sync > "$WORK/pg/initdb.log" 2>&1 ||
        { echo "FAIL: initdb"; cat "$WORK/pg/initdb.log"; exit 1; }
    local port
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    PG_OPTS="-h 127.0.0.1 -p $port -k $WORK/pg -c fsync=on -c max_connections=60"
    pg_start || { echo "FAIL: PostgreSQL did not start"; cat "$WORK/pg/server.log"; exit 1; }
    PG_URL="postgresql://board@127.0.0.1:$port/postgres"
}
pg_start() { as_pg pg_ctl -D "$PG_DATA" -w -t 30 -l "$WORK/pg/server.log" -o "$PG_OPTS" start > /dev/null; }
pg_kill() { as_pg pg_ctl -D "$PG_DATA" -m immediate stop > /dev/null; }

# Counts in the database behind a test: db_sql sqlite FILE SQL | db_sql pg URL SQL
db_sql() {
    if [ "$1" = sqlite ]; then sqlite3 "$2" "$3"; else psql -qtAX "$2" -c "$3"; fi
}

# scrape URL [curl options...]: the board's /metrics into $WORK/metrics.txt (its headers
# in $WORK/metrics.headers); sets STATUS.
scrape() {
    local url=$1
    shift
    STATUS=$(curl -s -o "$WORK/metrics.txt" -D "$WORK/metrics.headers" -w '%{http_code}' \
        --max-time 60 "$@" "$url/metrics")
}
# metric SERIES: its value in the last scrape (the name and labels as Prometheus writes
# them, labels in name order), or nothing.
metric() { awk -v s="$1" '$1 == s { print $2; exit }' "$WORK/metrics.txt"; }
# metric_above URL SERIES N: scraped again, the series is above N (the count of a request
# is taken once its answer is written, just after the client has read it).
metric_above() {
    scrape "$1" "${@:4}"
    awk -v v="$(metric "$2")" -v n="$3" 'BEGIN { exit !(v != "" && v + 0 > n + 0) }'
}
# request_id HEADERS: the X-Request-Id of an answer's headers (curl -D).
request_id() { sed -n 's/^[Xx]-[Rr]equest-[Ii]d: \([^\r]*\)\r*$/\1/p' "$1" | tail -1; }
# json_log FILE CHECK [ARGS...]: the JSON lines of a log (lines starting with '{'), by
# python: "parse" (each one parses, and there are some), or "has ID KIND [KEY=VALUE...]"
# (a line with that id and kind, and those values).
json_log() {
    python3 - "$@" <<'PY'
import json, sys
path, what = sys.argv[1], sys.argv[2]
lines = [l for l in open(path, encoding="utf-8", errors="replace") if l.startswith("{")]
entries = []
for l in lines:
    try:
        entries.append(json.loads(l))
    except ValueError:
        print("not JSON:", l.strip()[:200])
        sys.exit(1)
if what == "parse":
    sys.exit(0 if entries else 1)
want_id, kind = sys.argv[3], sys.argv[4]
want = dict(kv.split("=", 1) for kv in sys.argv[5:])
for e in entries:
    if e.get("id") == want_id and e.get("kind") == kind and \
            all(str(e.get(k)) == v for k, v in want.items()):
        sys.exit(0)
sys.exit(1)
PY
}
