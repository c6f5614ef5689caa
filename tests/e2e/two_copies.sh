#!/usr/bin/env bash
# Two copies of the game on one desktop, saving to the same folder: each started before
# the other saves, each setting a best time in the same mode. Neither erases the other's
# record, and every entry's replay verifies to the time at its place.
#
# The copies are held where the test wants them by their traces: each writes its trace
# into a FIFO and blocks once the test stops reading it (a pipe holds a few hundred
# lines; the rounds set their times well over a thousand frames in).
set -u
. "$(dirname "$0")/common.bash"

# A round of ten flies for the test player, started after ten seconds on the title.
printf '%s\n' '0 move 300 300' '600 click' '610 move 120 80' '612 click' '616 move 320 320' \
    '618 click' '3600 key escape' '3610 key escape' > late.script
SEEDS=(1000000000 1000000777 1000001234 1000002000 1000003000)

# The time each seed's round gives, played alone in a folder of its own.
declare -A ALONE
mkdir alone
ln -s "$SRC/bmp" alone/bmp
ln -s "$SRC/wave" alone/wave
for t in "${SEEDS[@]}"; do
    (cd alone && rm -rf hiscoa.sav replays &&
        "$ZUMBLE" --headless --autoplay --script ../late.script --time "$t" --frames 6000 >/dev/null 2>&1)
    ALONE[$t]=$(entry alone/hiscoa.sav 5)
done

# start NAME SEED: a copy whose trace goes to NAME.fifo, read on fd of NAME until its
# first lines show (hiscoa.sav has been read by then).
declare -A PID FD
start() {
    mkfifo "$1.fifo"
    "$ZUMBLE" --headless --autoplay --script late.script --time "$2" --frames 6000 --trace "$1.fifo" \
        >"$1.out" 2>&1 &
    PID[$1]=$!
    local fd
    exec {fd}<"$1.fifo"
    FD[$1]=$fd
    local line
    for _ in 1 2 3 4 5; do read -r line <&"$fd" || break; done
    case $line in frame=5\ *) ;; *) fail "$1: no trace from the start ('$line')" ;; esac
}

# run_out NAME: lets the copy run to its end.
run_out() {
    local fd=${FD[$1]}
    cat <&"$fd" >"$1.trace"
    exec {fd}<&-
    wait "${PID[$1]}" || fail "$1 ended with code $?"
}

# check_row NAME SEED...: the ten-fly row holds the seeds' times, best first, and each
# place's replay plays to the time at that place.
check_row() {
    local what=$1
    shift
    local want
    want=$(for t in "$@"; do echo "${ALONE[$t]}"; done | sort -n | head -5 | tr '\n' ' ')
    local got="" p
    for p in 1 2 3 4 5; do
        [ "$(entry hiscoa.sav $((4 + p)))" = 3599999 ] && break
        got+="$(entry hiscoa.sav $((4 + p))) "
    done
    check "$what: hiscoa.sav keeps every copy's record, in order (want $want, got $got)" test "$got" = "$want"
    local n=0
    for p in 1 2 3 4 5; do
        local time
        time=$(entry hiscoa.sav $((4 + p)))
        if [ "$time" = 3599999 ]; then
            check "$what: no replay stands for empty place $p" test ! -e "replays/best-10-2-$p.zrp"
            continue
        fi
        n=$((n + 1))
        local out
        out=$("$ZUMBLE" --verify "replays/best-10-2-$p.zrp" 2>&1)
        check "$what: place $p's replay verifies to its $time ms ('$out')" \
            test "$(echo "$out" | sed -n 's/^ok flies=10 speed=2 time_ms=\([0-9]*\) .*/\1/p')" = "$time"
    done
    check "$what: the last round's replay is kept" test -s replays/last.zrp
}

# --- two copies, one after the other ---------------------------------------------------
start a "${SEEDS[0]}"
start b "${SEEDS[1]}"
run_out a
check "a's record is saved while b still runs" test "$(entry hiscoa.sav 5)" = "${ALONE[${SEEDS[0]}]}"
run_out b
check_row "a then b" "${SEEDS[0]}" "${SEEDS[1]}"
cmp -s replays/last.zrp replays/best-10-2-1.zrp || cmp -s replays/last.zrp replays/best-10-2-2.zrp ||
    fail "last.zrp is not b's round"

# --- the other way round, into a table that already holds records ---------------------
start c "${SEEDS[2]}"
start d "${SEEDS[3]}"
run_out d
run_out c
check_row "then d then c" "${SEEDS[@]:0:4}"

# --- three at once, racing for the same files --------------------------------------------
rm -rf hiscoa.sav replays
start e "${SEEDS[2]}"
start f "${SEEDS[3]}"
start g "${SEEDS[4]}"
for n in e f g; do cat <&"${FD[$n]}" >"$n.trace" & done
for n in e f g; do wait "${PID[$n]}" || fail "$n ended with code $?"; done
wait
check_row "three at once" "${SEEDS[@]:2:3}"

finish
