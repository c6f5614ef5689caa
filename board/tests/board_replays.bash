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
