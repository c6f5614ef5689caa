#!/usr/bin/env bash
# A real Prometheus scrapes the board: started here on loopback with a scrape job for a
# board of its own (SQLite, the stand-in verifier), it must see the board's target up and
# read the board's metrics back through its query API, within bounded waits.
source "$(dirname "$0")/board_common.bash"
source "$TESTS/board_trust.bash"  # within
command -v prometheus > /dev/null ||
    { echo "SKIP: prometheus is not installed (scripts/install-deps.sh board)"; exit 77; }

start_board p "$WORK/prom.db" --zumble "$TESTS/fake_zumble.sh" --no-clips
board_port=${URL_p##*:}
prom_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$WORK/prometheus.yml" << YAML
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: zumble-board
    static_configs:
      - targets: ["127.0.0.1:$board_port"]
YAML
check "the scrape config is valid" promtool check config "$WORK/prometheus.yml" > /dev/null
prometheus --config.file="$WORK/prometheus.yml" --storage.tsdb.path="$WORK/tsdb" \
    --web.listen-address="127.0.0.1:$prom_port" --log.level=warn > "$WORK/prometheus.log" 2>&1 &
PIDS+=($!)
PROM=http://127.0.0.1:$prom_port

# target_up: Prometheus's last scrape of the board succeeded.
target_up() {
    curl -s --max-time 10 "$PROM/api/v1/targets" | python3 -c '
import json, sys
targets = json.load(sys.stdin)["data"]["activeTargets"]
sys.exit(0 if any(t["labels"]["job"] == "zumble-board" and t["health"] == "up" for t in targets) else 1)' 2> /dev/null
}
# queried QUERY [LABEL=VALUE]: the query gives a series (with that label's value).
queried() {
    curl -s --max-time 10 --data-urlencode "query=$1" "$PROM/api/v1/query" | python3 -c '
import json, sys
want = sys.argv[1].split("=", 1) if len(sys.argv) > 1 else None
result = json.load(sys.stdin)["data"]["result"]
sys.exit(0 if result and (not want or result[0]["metric"].get(want[0]) == want[1]) else 1)' "${@:2}" 2> /dev/null
}

check "Prometheus scrapes the board: its target up ($(tail -2 "$WORK/prometheus.log"))" within 120 target_up
version=$(sed -n 's/^project(zumble VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")
check "Prometheus reads the board's version ($version)" within 60 queried zumble_board_build_info "version=$version"
for _ in 1 2 3; do curl -s -o /dev/null "$URL_p/api/boards"; done
check "Prometheus reads the board's requests" \
    within 60 queried 'zumble_board_http_request_duration_seconds_count{route="/api/boards",status="200"} >= 3'
check "Prometheus reads the board's database pool" within 60 queried 'zumble_board_db_connections == 8'
finish
