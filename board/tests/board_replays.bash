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

# record_round OUT SEED FLIES-CLICKS...: one round by the game's headless autoplay, in a
# fresh folder; prints the time hiscoa.sav holds for it (the first place of its mode).
record_round() {
    local out=$1 seed=$2
    shift 2
    local dir
    dir=$(mktemp -d "$WORK/rec-XXXXXX")
    ln -s "$SRC/bmp" "$dir/bmp"
    ln -s "$SRC/wave" "$dir/wave"
    printf '%s\n' "0 move 300 300" "3 click" "$@" "1800 key escape" "1810 key escape" > "$dir/round.script"
    (cd "$dir" && "$GAME" --headless --autoplay --script round.script --time "$seed" --frames 1900 > /dev/null) ||
        { echo "FAIL: recording a round"; exit 1; }
    cp "$dir/replays/last.zrp" "$out"
    # The row of the mode in hiscoa.sav: 4 words of header, 5 times per mode.
    local flies speed
    flies=$(od -A n -t u1 -j 28 -N 1 "$out" | tr -d ' ')
    speed=$(od -A n -t u1 -j 29 -N 1 "$out" | tr -d ' ')
    od -A n -t u4 -j $((12 + 4 * 5 * (flies * 4 + speed))) -N 4 "$dir/hiscoa.sav" | tr -d ' '
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

TEN_FLIES_SPEED_2=("10 move 120 80" "12 click" "16 move 320 320" "18 click")
THIRTY_FLIES_SPEED_1=("10 move 120 200" "12 click" "16 move 320 320" "18 click")

prepare_real_replays() {
    GOOD1_TIME=$(record_round "$WORK/good1.rpl" 1000000000 "${TEN_FLIES_SPEED_2[@]}")
    GOOD2_TIME=$(record_round "$WORK/good2.rpl" 1000000777 "${TEN_FLIES_SPEED_2[@]}")
    GOOD3_TIME=$(record_round "$WORK/good3.rpl" 1234567890 "${THIRTY_FLIES_SPEED_1[@]}")
    GOOD1_FLIES=10 GOOD1_SPEED=2 GOOD2_FLIES=10 GOOD2_SPEED=2 GOOD3_FLIES=30 GOOD3_SPEED=1
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
    local i
    for i in 1 2 3 4 5 6; do
        record_round "$WORK/race-$i.rpl" $((1100000000 + i * 1009)) "${TEN_FLIES_SPEED_2[@]}" > /dev/null
    done
}

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
