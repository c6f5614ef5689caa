#!/usr/bin/env bash
# Verification's rate on rounds a person plays: the 40 person-like 10-fly rounds of
# tests/replays/hands/ (tests/e2e/human_round.py, one seed each, 10-13 s, ~700 frames).
#   1. one `zumble --verify-stream`, the 40 rounds five times over: its user and system
#      CPU per replay, and the replays it verifies per CPU second;
#   2. the board end to end: the 40 distinct runs sent 8 at a time, each from an address
#      of its own, to a fresh board (SQLite, its default verifiers), three times: the runs
#      stored a second, from the first request to the last answer.
#   bench/verify_rate.sh [build/zumble] [build-board/zumble-board]
# The board's part is skipped when it is not built (make board). Loopback only.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
game=$(realpath "${1:-$src/build/zumble}")
board=${2:-$src/build-board/zumble-board}
hands=("$src"/tests/replays/hands/*.zrp)
work=$(mktemp -d /tmp/zumble-verify-rate-XXXXXX)
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"

# --- one stream ---------------------------------------------------------------------------
for _ in 1 2 3 4 5; do
    for f in "${hands[@]}"; do printf '%d\n' "$(wc -c <"$f")"; cat "$f"; done
done > "$work/stream.in"
for run in 1 2 3; do
    cpu=$( { /usr/bin/time -f '%e %U %S' "$game" --verify-stream < "$work/stream.in" > "$work/stream.out"; } 2>&1 | tail -1)
    ok=$(grep -c '^exit 0 ok ' "$work/stream.out" || true)
    read -r wall user sys <<< "$cpu"
    awk -v n="$ok" -v w="$wall" -v u="$user" -v s="$sys" -v r="$run" 'BEGIN {
        printf "stream, run %d: %d of 200 verified in %.2f s, CPU %.2f user + %.2f system = %.2f ms a replay (%.2f + %.2f), %.0f a CPU second\n",
            r, n, w, u, s, (u + s) * 1000 / 200, u * 1000 / 200, s * 1000 / 200, n / (u + s) }'
done

# --- the board ------------------------------------------------------------------------------
if [ ! -x "$board" ]; then
    echo "board: not built (make board): skipped"
    exit 0
fi
for run in 1 2 3; do
    rm -f "$work/runs.db"
    # Review of records off: every run here would take a record and wait for a moderator.
    "$board" --port 0 --db "$work/runs.db" --zumble "$game" --work-dir "$work" --trust-proxy \
        --review-top 0 > "$work/server.out" 2> "$work/server.err" &
    server=$!
    for _ in $(seq 100); do grep -q 'http://' "$work/server.out" && break; sleep 0.1; done
    url=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/server.out")
    verifiers=$(sed -n 's/.*, \([0-9]*\) verifier.*/\1/p' "$work/server.out")
    python3 - "$url" "${hands[@]}" <<'PY'
import concurrent.futures, sys, time, urllib.error, urllib.request
url, files = sys.argv[1], sys.argv[2:]
def send(i):
    req = urllib.request.Request(f"{url}/api/runs?name=Hand%20{i}", data=open(files[i], "rb").read(),
        headers={"Content-Type": "application/octet-stream", "X-Forwarded-For": f"10.9.{i // 200}.{i % 200 + 1}"})
    try:
        with urllib.request.urlopen(req, timeout=120) as r:
            return r.status
    except urllib.error.HTTPError as e:
        return e.code
start = time.monotonic()
with concurrent.futures.ThreadPoolExecutor(8) as pool:
    codes = list(pool.map(send, range(len(files))))
took = time.monotonic() - start
stored = codes.count(201)
print(f"board: {stored} of {len(files)} runs stored (answers {sorted(set(codes))}) in {took:.2f} s = {stored / took:.1f} a second", end="")
PY
    echo ", $verifiers verifier(s), run $run"
    kill "$server"
    wait "$server" 2>/dev/null || true
    server=""
done
