# The replays the board's tests submit: GOOD1, GOOD2 (same mode), GOOD3, each with
# GOODn_TIME, GOODn_FLIES, GOODn_SPEED, and the bad ones TAMPER_INPUT, TAMPER_RESULT,
# OTHER_VERSION, TRUNCATED.

prepare_fake_replays() {
    local fake=$TESTS/fake_replay.sh
    "$fake" 30 2 abcdefghij > "$WORK/good1.rpl"; GOOD1_TIME=1170
    "$fake" 30 2 abcdefghijklmnopqrst > "$WORK/good2.rpl"; GOOD2_TIME=1340
    "$fake" 10 1 zyx > "$WORK/good3.rpl"; GOOD3_TIME=1051
    GOOD1_FLIES=30 GOOD1_SPEED=2 GOOD2_FLIES=30 GOOD2_SPEED=2 GOOD3_FLIES=10 GOOD3_SPEED=1
    sed 's/^inputs abcdefghij$/inputs abcdefghik/' "$WORK/good1.rpl" > "$WORK/tamper-input.rpl"
    sed 's/^result 1170 70$/result 1100 66/' "$WORK/good1.rpl" > "$WORK/tamper-result.rpl"
    "$fake" 30 2 abcdefghij 2 > "$WORK/other-version.rpl"
    head -c 40 "$WORK/good1.rpl" > "$WORK/truncated.rpl"
    TAMPER_RESULT_SAYS="stored result"
    OTHER_VERSION_SAYS="another version"
}

# record_round OUT SEED [FLIES SPEED [OPTIONS]]: one round played headless as a
# person would (tests/e2e/human_round.py: reactions, smooth reaches, presses a person
# makes; never the game's test player), seeded by SEED; prints the time the best times
# hold for it.
record_round() {
    local out=$1 seed=$2 flies=${3:-10} speed=${4:-2}
    shift $(($# < 4 ? $# : 4))
    local line
    line=$(python3 "$SRC/tests/e2e/human_round.py" "$GAME" "$SRC" "$out" --time "$seed" \
        --flies "$flies" --speed "$speed" "$@") || { echo "FAIL: playing a round (seed $seed)" >&2; exit 1; }
    sed -n 's/^time_ms=\([0-9]*\) .*/\1/p' <<< "$line"
}

# patch_replay IN OUT OFFSET FORMAT VALUE: one header field rewritten and the file's
# CRC-32 made right again, so only the game's own checks can catch it.
patch_replay() {
    python3 - "$@" <<'PY'
import struct, sys, zlib
src, dst, offset, fmt, value = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4], sys.argv[5]
data = bytearray(open(src, 'rb').read())
old = struct.unpack_from('<' + fmt, data, offset)[0]
struct.pack_into('<' + fmt, data, offset, eval(value, {'old': old}))
struct.pack_into('<I', data, len(data) - 4, zlib.crc32(bytes(data[:-4])))
open(dst, 'wb').write(data)
PY
}

prepare_real_replays() {
    # Two of one mode, one of another; each played in the background, two at a time.
    record_round "$WORK/good1.rpl" 1700000000 10 2 > "$WORK/good1.time" &
    local p1=$!
    record_round "$WORK/good2.rpl" 1700000777 10 2 > "$WORK/good2.time" &
    local p2=$!
    wait "$p1" || exit 1
    record_round "$WORK/good3.rpl" 1700001234 10 1 > "$WORK/good3.time" &
    local p3=$!
    wait "$p2" "$p3" || exit 1
    GOOD1_TIME=$(cat "$WORK/good1.time") GOOD2_TIME=$(cat "$WORK/good2.time") GOOD3_TIME=$(cat "$WORK/good3.time")
    GOOD1_FLIES=10 GOOD1_SPEED=2 GOOD2_FLIES=10 GOOD2_SPEED=2 GOOD3_FLIES=10 GOOD3_SPEED=1
    # The cursor the round starts from, moved: every later move is relative to it, so
    # each click lands elsewhere.
    patch_replay "$WORK/good1.rpl" "$WORK/tamper-input.rpl" 44 h 'old + 40'
    # The stored time, 100 ms better than the round played.
    patch_replay "$WORK/good1.rpl" "$WORK/tamper-result.rpl" 48 I 'old - 100'
    # Recorded by another game version.
    patch_replay "$WORK/good1.rpl" "$WORK/other-version.rpl" 8 I 'old + 1'
    head -c $(($(wc -c < "$WORK/good1.rpl") / 2)) "$WORK/good1.rpl" > "$WORK/truncated.rpl"
    TAMPER_RESULT_SAYS="the file says $((GOOD1_TIME - 100)) ms"
    OTHER_VERSION_SAYS="another game version"
}

# record_rounds OUT SEED N [FLIES SPEED]: N rounds, each played on a seed of its own
# (SEED on), two at a time; OUT's %d numbers them 1 to N. One play left in several ways
# would be one round to the board (the same swats on the same seed), however its inputs
# differ after the last swat.
record_rounds() {
    local out=$1 seed=$2 n=$3 flies=${4:-10} speed=${5:-2} i p pids
    for ((i = 1; i <= n; i += 2)); do
        # shellcheck disable=SC2059
        record_round "$(printf "$out" "$i")" $((seed + i - 1)) "$flies" "$speed" > /dev/null &
        pids=($!)
        if [ "$i" -lt "$n" ]; then
            # shellcheck disable=SC2059
            record_round "$(printf "$out" $((i + 1)))" $((seed + i)) "$flies" "$speed" > /dev/null &
            pids+=($!)
        fi
        for p in "${pids[@]}"; do wait "$p" || exit 1; done
    done
}

# prepare_race_rounds N: N distinct rounds of 10 flies, speed 2, $WORK/race-1.rpl on.
prepare_race_rounds() { record_rounds "$WORK/race-%d.rpl" 1700002000 "$1"; }

prepare_replays() {
    if [ "$REAL_REPLAYS" = 1 ]; then prepare_real_replays; else prepare_fake_replays; fi
    GOOD1=$WORK/good1.rpl GOOD2=$WORK/good2.rpl GOOD3=$WORK/good3.rpl
    TAMPER_INPUT=$WORK/tamper-input.rpl TAMPER_RESULT=$WORK/tamper-result.rpl
    OTHER_VERSION=$WORK/other-version.rpl TRUNCATED=$WORK/truncated.rpl
    local f
    for f in "$GOOD1" "$GOOD2" "$GOOD3" "$TAMPER_INPUT" "$TAMPER_RESULT" "$OTHER_VERSION" "$TRUNCATED"; do
        [ -s "$f" ] || { echo "FAIL: no replay $f"; exit 1; }
    done
    cmp -s "$GOOD1" "$TAMPER_INPUT" && { echo "FAIL: the input was not changed"; exit 1; }
    cmp -s "$GOOD1" "$TAMPER_RESULT" && { echo "FAIL: the result was not changed"; exit 1; }
    return 0
}
