#!/usr/bin/env bash
# How many rooms one board holds racing live: rooms of two racers, each streaming a
# person's round at 60 frames a second with a spectator watching each racer
# (bench/room_relay.py), 1, 2, 4, 8, ... rooms at once on a fresh board (SQLite, its
# default threads and verifiers), until the relay's p99 delay or a swat's reaches 50 ms
# or something is not seen at two steps in a row. Prints each step's delays and the
# board's CPU per racer, then the most rooms a step held.
#   bench/room_relay.sh [build/zumble] [build-board/zumble-board] [MAX_ROOMS] [all] [two]
# With "all", every step up to MAX_ROOMS is run whatever the one before gave (on a
# machine busy with other work, to see the delays grow). With "two" (PostgreSQL
# installed), two boards on one PostgreSQL cluster of the benchmark's own: the rooms are
# made on the first and every link goes through the second, which passes it on through
# the database (docs/rooms.md, "Several servers"); the CPU is both boards'.
# Loopback only.
set -uo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
game=$(realpath "${1:-$src/build/zumble}")
board=${2:-$src/build-board/zumble-board}
most=${3:-64}
every=${4:-}
two=${5:-}
[ -x "$board" ] || { echo "board: not built (make board): skipped"; exit 0; }
# The servers (and the database) started and stopped as the board's tests do.
source "$src/board/tests/board_common.bash" "$board" "$game" "$src"
echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
via=()
if [ "$two" = two ]; then
    start_postgres
    start_board relay "$PG_URL"
    start_board via "$PG_URL"
    via=("$URL_via" "$PID_via")
    echo "two boards on one PostgreSQL database, every link through the second"
else
    start_board relay "$WORK/runs.db"
fi
url=$URL_relay
server=$PID_relay
step=0
held=0
over=0
for rooms in 1 2 4 8 12 16 24 32 48 64; do
    [ "$rooms" -le "$most" ] || break
    step=$((step + 1))
    if python3 "$src/bench/room_relay.py" "$url" "$server" "$game" "$src" "$rooms" "$step" "${via[@]}"; then
        held=$rooms
        over=0
    else
        # One step over may be the machine's other work: two in a row end it.
        over=$((over + 1))
        [ "$over" -lt 2 ] || [ "$every" = all ] || break
    fi
done
echo "held with every p99 under 50 ms and nothing missed: $held rooms ($((held * 2)) racers)"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
