#!/usr/bin/env bash
# Soak: round after round of 1000 flies at the top speed, played by the test player.
# Between rounds every pool must be whole again (the trace's pool audit in mode select),
# and the run must end cleanly; built with the sanitizers, that also means no report and
# no leak. A sanitized game plays 20 rounds, a plain one 3.
set -u
. "$(dirname "$0")/common.bash"
if nm -C "$ZUMBLE" 2>/dev/null | grep -q __asan_init; then rounds=20; else rounds=3; fi
frames=$((rounds * 1750 + 400))
{
    echo "0 move 300 300"
    echo "3 click"
    echo "10 move 515 84"; echo "11 click"; echo "15 click"
    echo "19 move 515 200"; echo "20 click"; echo "24 click"
    # Every 100 frames: press start (a stray swat during a round, the way off the
    # results board after one), and Enter so that the flies come every frame.
    for ((f = 100; f < frames; f += 100)); do
        echo "$f move 320 320"
        echo "$((f + 1)) click"
        echo "$((f + 20)) key return"
    done
} > soak.txt
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$ZUMBLE" --headless --autoplay --script soak.txt --frames $frames --trace t.txt 2> err.txt
status=$?
check "the run ends cleanly (exit $status)" test $status -eq 0
check "no sanitizer report" bash -c "! grep -q -E 'ERROR: (Address|Leak)Sanitizer|runtime error' err.txt"
played=$(grep ' scene=8 ' t.txt | grep ' phase=1 ' | grep -c ' target=1000 ')
check "$rounds rounds of 1000 flies cleared ($played)" test "$played" -ge "$rounds"
check "every clear swatted all 1000" bash -c "grep ' phase=1 ' t.txt | grep -v -q ' swatted=1000 ' && exit 1 || exit 0"
audits=$(grep -c ' pools=' t.txt)
check "pools audited between rounds ($audits)" test "$audits" -ge "$rounds"
check "every pool whole between rounds" bash -c "! grep -q ' pools=broken' t.txt"
check "all 2681 nodes free between rounds" bash -c "! grep ' free=' t.txt | grep -v -q ' free=2681 '"
check "error.txt written" grep -q "Write End" error.txt
[ $FAILS -eq 0 ] || tail -20 err.txt
finish
