#!/usr/bin/env bash
# The board's reads beside a static server's on the very same bytes, in one run on this
# machine, loopback only, bounded in time. The board's front page / and its JSON board
# /api/boards/10/2 are fetched from a running board (SQLite, the verifiers at their
# default), written to files and served by nginx (started here on 127.0.0.1 with a
# config and prefix of its own, two workers, no access log, no root needed). Both are
# read with wrk -t2 -c50 for SECONDS each (best of BENCH_REPEAT runs, default 1): idle,
# then while 4 submitters keep the board's verifiers busy with genuine rounds; the page
# is read a second time by clients that take gzip (the board's kept gzip bytes, nginx's
# gzip_static copy of the very same bytes). Prints the six ratios (board/nginx requests a second) and the p99s, the verifications a
# second (the board's, while submitters alone run; and one --verify-stream's per CPU
# second), and the answer time of single genuine submissions to the idle board.
#   board/bench/board_vs_static.sh [build-board/zumble-board] [build/zumble] [SECONDS]
# BENCH_ROUNDS (default 6000) distinct submissions are made for the busy phases: 40
# rounds a person could play (tests/e2e/human_round.py), each under many recorder texts
# (other bytes of the same round: each is verified again, then stored as the run it is).
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
board=$(realpath "${1:-$src/build-board/zumble-board}")
game=$(realpath "${2:-$src/build/zumble}")
duration=${3:-8}
repeat=${BENCH_REPEAT:-1}
rounds=${BENCH_ROUNDS:-6000}
nginx=$(command -v nginx || echo /usr/sbin/nginx)
command -v wrk > /dev/null || { echo "wrk is not installed (scripts/install-deps.sh board)"; exit 1; }
[ -x "$nginx" ] || { echo "nginx is not installed (scripts/install-deps.sh board: nginx-light)"; exit 1; }
work=$(mktemp -d /tmp/zumble-board-static-XXXXXX)
chmod 755 "$work"
server="" static="" submitters=""
cleanup() {
    for p in $submitters $server $static; do kill "$p" 2> /dev/null || true; done
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# --- the rounds -----------------------------------------------------------------------
mkdir "$work/idle" "$work/busy"
python3 "$src/tests/e2e/human_round.py" "$game" "$src" "$work/idle/h-%d.zrp" --time 1700030000 \
    --variants 20 > /dev/null &
python3 "$src/tests/e2e/human_round.py" "$game" "$src" "$work/busy/h-%d.zrp" --time 1700031000 \
    --variants 40 > /dev/null
wait
python3 - "$work/busy" "$rounds" <<'EOF'
import glob, struct, sys, zlib
folder, count = sys.argv[1], int(sys.argv[2])
plays = [open(f, "rb").read() for f in sorted(glob.glob(folder + "/h-*.zrp"))]
for i in range(count):
    b = bytearray(plays[i % len(plays)])
    b[12:28] = ("bench-%d" % i).encode().ljust(16, b"\0")  # the recorder's text: not the round
    b[-4:] = struct.pack("<I", zlib.crc32(bytes(b[:-4])))
    open("%s/v-%05d.zrp" % (folder, i + 1), "wb").write(b)
EOF

# --- the board ----------------------------------------------------------------------------
"$board" --port 0 --db "$work/bench.db" --zumble "$game" --work-dir "$work" --threads 64 --review-top 0 \
    --submit-burst 1000000 --submit-rate 1000000 --trust-proxy > "$work/server.out" 2> "$work/server.err" &
server=$!
for _ in $(seq 100); do grep -q 'http://' "$work/server.out" && break; sleep 0.1; done
url=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/server.out")
verifiers=$(sed -n 's/.*, \([0-9]*\) verifier.*/\1/p' "$work/server.out")
echo "board $url, $(nproc) cores, $verifiers verifier(s), load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"

# Single genuine rounds to the idle board: the whole answer, verification and storing.
i=0
for f in "$work"/idle/h-*.zrp; do
    i=$((i + 1))
    curl -s -o /dev/null -w '%{time_total}\n' -X POST --data-binary "@$f" \
        -H 'Content-Type: application/octet-stream' "$url/api/runs?name=Idle%20$i"
done | sort -n > "$work/idle.times"
n=$(wc -l < "$work/idle.times")
idle_p50=$(awk -v n="$n" 'NR == int((n + 1) / 2) {printf "%.1f", $1 * 1000}' "$work/idle.times")
idle_max=$(awk 'END {printf "%.1f", $1 * 1000}' "$work/idle.times")

# --- the same bytes from files, served by nginx --------------------------------------------
mkdir -p "$work/www/api/boards/10" "$work/nginx"
curl -sf -D "$work/page.head" -o "$work/www/page.html" "$url/"
curl -sf -D "$work/json.head" -o "$work/www/board.json" "$url/api/boards/10/2"
# The page as the board gzips it, for nginx's gzip_static.
curl -sf -H 'Accept-Encoding: gzip' -o "$work/www/page.html.gz" "$url/"
gzip -t "$work/www/page.html.gz" 2> /dev/null ||
    { echo "the board did not answer / in gzip ($(wc -c < "$work/www/page.html") bytes)"; exit 1; }
chmod -R a+rX "$work/www"
type_of() { sed -n 's/^[Cc]ontent-[Tt]ype: *\(.*\)\r$/\1/p' "$1"; }
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$work/nginx/nginx.conf" <<EOF
worker_processes 2;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    keepalive_requests 1000000;
    types {}
    root $work/www;
    gzip_static on;
    server {
        listen 127.0.0.1:$port;
        location = / { default_type "$(type_of "$work/page.head")"; try_files /page.html =404; }
        location = /api/boards/10/2 { default_type "$(type_of "$work/json.head")"; try_files /board.json =404; }
    }
}
EOF
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" 2> "$work/nginx/start.err" &
static=$!
for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
cmp -s <(curl -s "http://127.0.0.1:$port/api/boards/10/2") "$work/www/board.json" ||
    { echo "nginx did not start:"; cat "$work/nginx/start.err" "$work/nginx/error.log"; exit 1; }
curl -s -D - -o /dev/null -H 'Accept-Encoding: gzip' "http://127.0.0.1:$port/" | grep -qi '^Content-Encoding: gzip' ||
    { echo "nginx does not send the gzip copy"; exit 1; }
echo "nginx $("$nginx" -v 2>&1 | sed 's/.*\///') on 127.0.0.1:$port: / ($(wc -c < "$work/www/page.html") bytes, gzip $(wc -c < "$work/www/page.html.gz"))," \
     "/api/boards/10/2 ($(wc -c < "$work/www/board.json") bytes)"

# read URL [HEADER]: "REQUESTS_A_SECOND P99_MS", the best of `repeat` runs of wrk -t2 -c50.
read_rate() {
    local best="0 0" r
    for _ in $(seq "$repeat"); do
        r=$(wrk -t2 -c50 -d"${duration}s" --latency ${2:+-H "$2"} "$1" | awk '
            function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
            /Requests\/sec/ {rps = $2} /^ +99%/ {p99 = ms($2)} END {printf "%.0f %.2f", rps, p99}')
        [ "${r%% *}" -gt "${best%% *}" ] && best=$r
    done
    echo "$best"
}
declare -A rate
measure() {  # measure PHASE: the four reads
    rate[$1 board json]=$(read_rate "$url/api/boards/10/2")
    rate[$1 nginx json]=$(read_rate "http://127.0.0.1:$port/api/boards/10/2")
    rate[$1 board page]=$(read_rate "$url/")
    rate[$1 nginx page]=$(read_rate "http://127.0.0.1:$port/")
    rate[$1 board gzip]=$(read_rate "$url/" 'Accept-Encoding: gzip')
    rate[$1 nginx gzip]=$(read_rate "http://127.0.0.1:$port/" 'Accept-Encoding: gzip')
}
runs() { sqlite3 "$work/bench.db" 'SELECT count(*) FROM runs'; }
# Submissions verified: stored (201), or the same round stored already (409 duplicate).
answered() { grep -c ' 201 \| 200 \| 409 duplicate' "$work/server.err" || true; }

measure idle

# --- the same while the verifiers are kept busy -------------------------------------------
# Four submitters; first alone for the verification rate, then the reads beside them.
wrk -t1 -c4 -d1000s --timeout 30s -s "$src/board/bench/board_submit.lua" "$url" \
    -- "$work/busy" "$rounds" 0 > "$work/submit.out" &
submitters=$!
sleep 1
before=$(answered)
sleep "$duration"
verified=$(($(answered) - before))
measure busy
left=$(($(answered) - before - verified))
kill "$submitters"
wait "$submitters" 2> /dev/null || true
submitters=""
refused=$(grep ' 4[0-9][0-9] \| 5[0-9][0-9] ' "$work/server.err" | grep -vc '409 duplicate' || true)

# --- one warm verifier alone: its verifications per CPU second ------------------------------
for i in $(seq 1 200); do
    f=$work/busy/v-$(printf %05d "$i").zrp
    printf '%d\n' "$(wc -c < "$f")"
    cat "$f"
done > "$work/stream.in"
cpu=$( { /usr/bin/time -f '%U %S' "$game" --verify-stream < "$work/stream.in" > "$work/stream.out"; } 2>&1 | tail -1)
stream_ok=$(grep -c '^exit 0 ok ' "$work/stream.out" || true)

echo
printf '%-34s %12s %10s %12s %10s %7s\n' "wrk -t2 -c50, ${duration}s each" "board req/s" "p99 ms" "nginx req/s" "p99 ms" ratio
for phase in idle busy; do
    for what in json page gzip; do
        read -r b bp <<< "${rate[$phase board $what]}"
        read -r s sp <<< "${rate[$phase nginx $what]}"
        case $what in json) label=/api/boards/10/2 ;; page) label="the page /" ;; gzip) label="the page /, gzip" ;; esac
        label="$([ $phase = idle ] && echo idle || echo verifying): $label"
        printf '%-34s %12s %10s %12s %10s %7.2f\n' "$label" "$b" "$bp" "$s" "$sp" "$(awk -v a="$b" -v b="$s" 'BEGIN {print a / b}')"
    done
done
for what in json page; do
    read -r _ bp <<< "${rate[busy board $what]}"
    read -r _ sp <<< "${rate[busy nginx $what]}"
    awk -v w="$what" -v a="$bp" -v b="$sp" 'BEGIN {printf "p99 while verifying, %s: board %.2f ms = %.2fx nginx'"'"'s\n", (w == "json" ? "/api/boards/10/2" : "the page /"), a, a / b}'
done
awk -v n="$verified" -v d="$duration" -v v="$verifiers" -v r="$left" -v rd="$((4 * duration))" 'BEGIN {
    printf "verifications, 4 submitters alone: %d in %d s = %.1f a second (%.1f per verifier); while read flat out: %.1f a second\n", n, d, n / d, n / d / v, r / rd }'
read -r user sys <<< "$cpu"
awk -v n="$stream_ok" -v u="$user" -v s="$sys" 'BEGIN {
    printf "one --verify-stream, 200 10-fly rounds: %d verified in %.2f s of CPU = %.0f a second per core\n", n, u + s, n / (u + s) }'
echo "idle board, single genuine 10-fly submission: p50 $idle_p50 ms, max $idle_max ms ($n submissions)"
echo "runs stored: $(runs); submissions refused or failed otherwise: $refused; load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$((verified + left))" -lt "$rounds" ] || echo "(every prepared submission was sent: a lower bound; BENCH_ROUNDS=$((rounds * 2)) for more)"
