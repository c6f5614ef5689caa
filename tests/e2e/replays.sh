#!/usr/bin/env bash
# Replays: rounds played by the test player leave replays/ files beside hiscoa.sav;
# --verify plays each to the time the table holds and writes nothing; --headless
# --replay retraces the round's frames line for line; a round played after other rounds
# and after the title's idle fly verifies in a fresh process; the kept files follow the
# table's entries; bad and tampered files are refused with one line and the right code;
# --replays lists the kept files, the damaged ones with their reason; one --verify-stream
# answers a mix of rounds, refusals and desyncs as a process for each does; --history
# lists every round, and the last 100 rounds' replays are kept; R mid-round leaves the
# round as Escape does and the new one plays as if its Start were clicked.
set -u
. "$(dirname "$0")/common.bash"

# round_lines TRACE FIRST COUNT: COUNT trace lines from flip FIRST on, without the
# frame counter (the one field a replay's trace may not share with the recording: the
# replay starts from a fresh process, so its flips are numbered from its own start).
round_lines() { awk -v a="$2" -v n="$3" '{ f = substr($1, 7) + 0 } f >= a && f < a + n { sub(/^frame=[0-9]+ /, ""); print }' "$1"; }
# The state of the player's files, to show that something did not change them.
files_state() { find . -path ./bmp -prune -o -path ./wave -prune -o -type f -newer stamp -print | sort; md5sum hiscoa.sav replays/* 2>/dev/null; }

# --- one round: files, the time, the trace -------------------------------------------
write_round_script one.script
"$ZUMBLE" --headless --autoplay --script one.script --trace rec.trace --sound-log rec.snd --frames 5000 >rec.out 2>&1 ||
    fail "recording run: exit code $?"
check "a round leaves replays/last.zrp" test -s replays/last.zrp
check "the round's best time has its replay" test -s replays/best-10-2-1.zrp
check "the last round and its best entry are the same round" cmp -s replays/last.zrp replays/best-10-2-1.zrp
want=$(entry hiscoa.sav 5)
out=$("$ZUMBLE" --verify replays/last.zrp)
rc=$?
frames=$(u32 replays/last.zrp 52)
check "--verify prints the time hiscoa.sav holds ($want): '$out'" \
    test "${out%% round=*}" = "ok flies=10 speed=2 time_ms=$want frames=$frames" -a "$rc" -eq 0
check "--verify names the round, its date and program, and the test player in it: '$out'" \
    echo "$out" | grep -Eq ' round=[0-9a-f]{64} played=1000000000 program=[^ ]+ autoplay=1 touch=0 pad=0 signs=[^ ]*autoplay_path:[0-9]+/[0-9]+'
[ "$(wc -c <replays/last.zrp)" -lt 4096 ] || fail "a 10-fly round's replay is $(wc -c <replays/last.zrp) bytes"

# The replay's trace: the frames of the round, from the flip that ends frame 0 (the
# start click's) to the one that ends the last, are those of the recording.
touch stamp
sleep 1
"$ZUMBLE" --headless --replay replays/last.zrp --trace play.trace --sound-log play.snd >play.out 2>&1 ||
    fail "--replay: exit code $?"
start=$(u32 replays/last.zrp 36)
pstart=$(($(grep -m1 -o '^frame=[0-9]* .* scene=6 next=7 ' play.trace | cut -d' ' -f1 | cut -d= -f2) - 1))
round_lines rec.trace $((start + 1)) "$frames" >rec.round
round_lines play.trace $((pstart + 1)) "$frames" >play.round
check "the round's trace has its $frames frames" test "$(wc -l <rec.round)" -eq "$frames"
check "--headless --replay retraces the round's frames identically" cmp -s rec.round play.round
# The sounds of the frames after the start click's, up to the last flip (after which the
# recording went on to mode select and the replay ends the game).
sounds() { awk -v a="$2" -v n="$3" '{ f = substr($1, 7) + 0 } f > a && f < a + n { sub(/^frame=[0-9]+ /, ""); print }' "$1"; }
sounds rec.snd "$start" "$frames" >rec.sounds
sounds play.snd "$pstart" "$frames" >play.sounds
check "--headless --replay makes the round's sounds ($(wc -l <rec.sounds) operations)" \
    test -s rec.sounds -a "$(md5sum <rec.sounds)" = "$(md5sum <play.sounds)"
"$ZUMBLE" --verify replays/best-10-2-1.zrp >/dev/null || fail "--verify of the best entry"
check "replaying and verifying write nothing" \
    test -z "$(find . -newer stamp -type f ! -name '*.trace' ! -name '*.out' ! -name '*.round' ! -name '*.snd' ! -name '*.sounds')"

# --- several rounds in one run, after the title's idle fly ------------------------------
# Round 1 starts after ten seconds on the title, when its fly has been flying; rounds 2
# and 3 follow in the same process with other modes, so the pools hold what the earlier
# rounds and the title left in them.
rm -rf replays hiscoa.sav history.txt
cat >three.script <<'S'
0 move 300 300
800 click
806 move 120 80
808 click
810 move 320 320
812 click
1500 move 120 200
1502 click
1506 move 320 320
1508 click
2300 move 515 80
2302 click
2306 move 320 320
2308 click
6000 key escape
6010 key escape
S
"$ZUMBLE" --headless --autoplay --script three.script --trace three.trace --frames 9000 >three.out 2>&1 ||
    fail "three rounds: exit code $?"
grep -q ' scene=2 .* flies=1 ' three.trace || fail "the title's idle fly never showed"
for f in best-10-2-1 best-10-1-1 best-30-1-1; do
    case $f in
        best-10-2-1) idx=5 flies=10 speed=2 ;;
        best-10-1-1) idx=0 flies=10 speed=1 ;;
        best-30-1-1) idx=20 flies=30 speed=1 ;;
    esac
    out=$("$ZUMBLE" --verify "replays/$f.zrp")
    check "$f verifies in a fresh process to the table's $(entry hiscoa.sav $idx): '$out'" \
        test "${out%% round=*}" = "ok flies=$flies speed=$speed time_ms=$(entry hiscoa.sav $idx) frames=$(u32 "replays/$f.zrp" 52)"
done
check "the last round is the third" cmp -s replays/last.zrp replays/best-30-1-1.zrp

# The history: a line for each of the three rounds, oldest first, its mode in words, its
# time as the table holds it, and its kept replay (named by the round's identity).
hline() {  # hline FILE FLIES SPEED-WORD INDEX: the line --history gives a best round
    local id ms
    id=$("$ZUMBLE" --verify "replays/$1.zrp" | field round)
    ms=$(entry hiscoa.sav "$4")
    printf '%-16s  %-18s  %10s  %4d/%-4d  %s\n' "$(TZ=UTC date -d @1000000000 '+%Y-%m-%d %H:%M')" "$2 flies, $3" \
        "$((ms / 1000)).$(printf %03d $((ms % 1000))) s" "$2" "$2" "$WORK/replays/round-${id:0:16}.zrp"
}
want=$(hline best-10-2-1 10 NORMAL 5; hline best-10-1-1 10 SLOW 0; hline best-30-1-1 30 SLOW 20)
out=$(TZ=UTC "$ZUMBLE" --history 2>history.err)
check "--history after three rounds lists three lines, each with its mode, time and replay" \
    test "$out" = "$want" -a ! -s history.err
[ "$out" = "$want" ] || diff <(echo "$want") <(echo "$out")
check "--history 30 SLOW lists that mode's round alone" \
    test "$(TZ=UTC "$ZUMBLE" --history 30 SLOW)" = "$(hline best-30-1-1 30 SLOW 20)"
check "history.txt holds a line of its own format for each: $(head -1 history.txt)" \
    test "$(grep -Ec '^played=1000000000 flies=(10|30) speed=[12] time_ms=[0-9]+ swatted=(10|30) round=[0-9a-f]{64} keys=0$' history.txt)" -eq 3

# --- the kept replays follow the table ---------------------------------------------------
# Seven runs of the same mode with other seeds: the table fills and times fall off it;
# each entry's replay plays to its time, and no replay outlives its entry.
rm -rf replays hiscoa.sav
for t in 1000000000 1000000777 1000001234 1000002000 1000003000 1000004000 1000005000; do
    "$ZUMBLE" --headless --autoplay --script one.script --time $t --frames 5000 >/dev/null 2>&1 || fail "run $t"
    last=$("$ZUMBLE" --verify replays/last.zrp | sed -n 's/.*time_ms=\([0-9]*\).*/\1/p')
    echo "run $t: $last ms"
done
for p in 1 2 3 4 5; do
    out=$("$ZUMBLE" --verify "replays/best-10-2-$p.zrp")
    check "place $p's replay plays to its entry $(entry hiscoa.sav $((4 + p))): '$out'" \
        test "$(echo "$out" | sed -n 's/.*time_ms=\([0-9]*\).*/\1/p')" = "$(entry hiscoa.sav $((4 + p)))"
done
check "five entries, five replays and the last round's: $(ls replays | grep -v '^round-' | tr '\n' ' ')" \
    test "$(ls replays | grep -v '^round-' | tr '\n' ' ')" = "best-10-2-1.zrp best-10-2-2.zrp best-10-2-3.zrp best-10-2-4.zrp best-10-2-5.zrp last.zrp "

# --- the last 100 rounds' replays are kept --------------------------------------------
# A record's round, then 99 rounds in one run (a start, then R every 8 frames, the cursor
# elsewhere each time so that each is a round of its own): 100 rounds, 100 replays. The
# 101st drops the first round's replay, never the record's.
rm -rf replays hiscoa.sav history.txt
"$ZUMBLE" --headless --autoplay --script one.script --frames 5000 >/dev/null 2>&1 || fail "the record's run"
first=replays/round-$(sed -n '1s/.* round=\([0-9a-f]\{16\}\).*/\1/p' history.txt).zrp
{ printf '%s\n' '0 move 300 300' '3 click' '10 move 320 320' '12 click'
  for k in $(seq 1 98); do echo "$((12 + 8 * k)) move $((100 + k)) 200"; echo "$((12 + 8 * k)) key r"; done; } >hundred.script
"$ZUMBLE" --headless --script hundred.script --frames 806 >hundred.out 2>&1 || fail "99 rounds: exit code $?"
check "100 rounds: 100 lines, 100 kept rounds, the first among them" \
    test "$(wc -l <history.txt)" -eq 100 -a "$(ls replays/round-*.zrp | wc -l)" -eq 100 -a -s "$first"
"$ZUMBLE" --headless --autoplay --script one.script --time 1000000777 --frames 5000 >/dev/null 2>&1 || fail "round 101"
check "the 101st round drops the first round's replay: $(ls replays/round-*.zrp | wc -l) kept" \
    test "$(wc -l <history.txt)" -eq 101 -a "$(ls replays/round-*.zrp | wc -l)" -eq 100 -a ! -e "$first"
both_records() {
    [ "$("$ZUMBLE" --verify replays/best-10-2-1.zrp | field time_ms)" = "$(entry hiscoa.sav 5)" ] &&
        [ "$("$ZUMBLE" --verify replays/best-10-2-2.zrp | field time_ms)" = "$(entry hiscoa.sav 6)" ]
}
check "the records' replays stay and play to their times" both_records

# A replay that cannot be saved changes nothing else: the round's time still goes to the
# table, and the game ends as always.
rm -rf replays hiscoa.sav
echo "not a folder" >replays
"$ZUMBLE" --headless --autoplay --script one.script --frames 5000 >blocked.out 2>&1
check "a round whose replay cannot be saved ends normally (exit $?)" test $? -eq 0
check "its time is in the table" test "$(entry hiscoa.sav 5)" -lt 3599999
check "what stood in replays/' place is untouched" test "$(cat replays)" = "not a folder"
rm -f replays

# --- however the game ends, the round's replay plays to what the table holds -----------
# The same round as above (7234 ms at frame 452 of the run), ended by closing the game on
# the results board (a script's close, and --frames), and before its last fly (a close,
# and --frames): the record's replay and the last round's verify, to the table's time or
# to "left before its last fly"; the quit never puts a worse replay over the record's.
for way in "close:470 close" "frames:--frames 470" "close-late:1500 close"; do
    name=${way%%:*} how=${way#*:}
    rm -rf replays hiscoa.sav
    head -6 one.script >"$name.script"
    case $how in --frames*) extra=$how ;; *) echo "$how" >>"$name.script"; extra= ;; esac
    "$ZUMBLE" --headless --autoplay --script "$name.script" $extra >"$name.out" 2>&1 || fail "$name: exit code $?"
    want=$(entry hiscoa.sav 5)
    check "$name on the results board: the table holds the round's time ($want)" test "$want" = 7234
    for f in best-10-2-1 last; do
        out=$("$ZUMBLE" --verify "replays/$f.zrp")
        check "$name on the results board: $f.zrp verifies to $want: '$out'" \
            test "${out%% round=*}" = "ok flies=10 speed=2 time_ms=$want frames=$(u32 "replays/$f.zrp" 52)"
    done
    [ "$name" = close-late ] ||  # by then the test player had left the board
        check "$name: the replay says the game was closed" test "$(od -A n -t u1 -j 31 -N 1 replays/last.zrp | tr -d ' ')" = 1
done
for way in "close-mid-round:200 close" "frames-mid-round:--frames 200" "close-in-frame-1:19 close"; do
    name=${way%%:*} how=${way#*:}
    rm -rf replays hiscoa.sav
    head -6 one.script >"$name.script"
    case $how in --frames*) extra=$how ;; *) echo "$how" >>"$name.script"; extra= ;; esac
    "$ZUMBLE" --headless --autoplay --script "$name.script" $extra >"$name.out" 2>&1 || fail "$name: exit code $?"
    out=$("$ZUMBLE" --verify replays/last.zrp)
    check "$name: the round left before its last fly says so: '$out'" \
        test "$out" = "invalid: the round was left before its last fly and has no time"
    check "$name: no record, no record's replay" test ! -e replays/best-10-2-1.zrp
done
# A record kept, then the same mode again, closed mid-round: the record's replay stays.
rm -rf replays hiscoa.sav
"$ZUMBLE" --headless --autoplay --script one.script --frames 5000 >/dev/null 2>&1 || fail "the record's run"
cp replays/best-10-2-1.zrp record.zrp
head -6 one.script >again.script
echo "200 close" >>again.script
"$ZUMBLE" --headless --autoplay --script again.script --time 1000000777 >/dev/null 2>&1 || fail "the closed run"
check "a round closed before its end leaves the record's replay as it was" cmp -s record.zrp replays/best-10-2-1.zrp
check "the test player's round says so in its header (flags 1)" test "$(u32 replays/last.zrp 64)" = 1

# --- the corpus: rounds recorded by earlier builds still play to their results ---------
# A change of the game that breaks one must raise the game or format version on purpose
# and record the corpus again (scripts/replay-corpus.sh).
while read -r file result; do
    out=$("$ZUMBLE" --verify "$SRC/tests/replays/$file" 2>/dev/null)
    check "corpus $file plays to '$result' (got '$out')" test "$out" = "$result"
done <"$SRC/tests/replays/expected.txt"

# --- --replays: the kept replays listed ------------------------------------------------
# A folder of its own: none at first, then the last round, two best times and files that
# cannot be played, each on its own line; files that are not kept replays are left out.
mkdir listing
ln -s "$SRC/bmp" listing/bmp
ln -s "$SRC/wave" listing/wave
out=$(cd listing && TZ=UTC "$ZUMBLE" --replays 2>&1)
rc=$?
check "--replays without replays says so in one line (exit $rc): '$out'" \
    test "$rc" -eq 0 -a "$out" = "No kept replays in $WORK/listing/replays yet: every round played is kept there."
mkdir listing/replays
cp "$SRC/tests/replays/10-flies-speed-2.zrp" listing/replays/last.zrp
cp "$SRC/tests/replays/1000-flies-speed-2.zrp" listing/replays/best-1000-2-1.zrp
cp "$SRC/tests/replays/10-flies-speed-3-keys.zrp" listing/replays/best-10-3-1.zrp
cp "$SRC/tests/replays/left-early.zrp" listing/replays/best-10-3-2.zrp
head -c 100 "$SRC/tests/replays/10-flies-speed-2.zrp" >listing/replays/best-10-2-2.zrp
mkdir listing/replays/best-30-1-1.zrp
cp "$SRC/tests/replays/10-flies-speed-2.zrp" listing/replays/last.zrp.tmp
cp "$SRC/tests/replays/10-flies-speed-2.zrp" listing/replays/mine.zrp
# line WHAT FILE MODE TIME: the line a readable replay gets.
line() { printf '%-10s  %-20s  %10s  %-16s  %s' "$1" "$3" "$4" "$(TZ=UTC date -d "@$(u32 "listing/replays/$2" 32)" '+%Y-%m-%d %H:%M')" \
    "$WORK/listing/replays/$2"; }
want=$(line "last round" last.zrp "10 flies, NORMAL" "7.234 s"
       echo
       printf '%-10s  %-20s  unreadable: truncated  %s\n' "best 2" "10 flies, NORMAL" "$WORK/listing/replays/best-10-2-2.zrp"
       line "best 1" best-10-3-1.zrp "10 flies, FAST" "2.083 s"
       echo
       line "best 2" best-10-3-2.zrp "10 flies, NORMAL" "no time"
       echo
       printf '%-10s  %-20s  unreadable: not a regular file  %s\n' "best 1" "30 flies, SLOW" "$WORK/listing/replays/best-30-1-1.zrp"
       line "best 1" best-1000-2-1.zrp "1000 flies, NORMAL" "87.850 s")
touch stamp
sleep 1
out=$(cd listing && TZ=UTC timeout 60 "$ZUMBLE" --replays 2>"$WORK/list.err")
rc=$?
check "--replays lists the last round, each best time and the damaged files (exit $rc)" \
    test "$rc" -eq 0 -a "$out" = "$want" -a ! -s list.err
[ "$out" = "$want" ] || diff <(echo "$want") <(echo "$out")
check "--replays writes nothing" test -z "$(find listing -newer stamp)"
check "--replays takes no other option" \
    test "$("$ZUMBLE" --replays --headless 2>&1)" = "zumble: --replays takes no other option"

# --- bad files -----------------------------------------------------------------------------
# verify_says FILE CODE PATTERN: one line matching PATTERN, with exit code CODE.
verify_says() {
    local out rc
    out=$(timeout 20 "$ZUMBLE" --verify "$1" 2>verify.err)
    rc=$?
    [ "$rc" -eq "$2" ] && [ "$(echo "$out" | wc -l)" -eq 1 ] && echo "$out" | grep -Eq "$3" && [ ! -s verify.err ] ||
        { echo "  $1: rc=$rc out='$out' err='$(cat verify.err)'"; return 1; }
}
good=$SRC/tests/replays/10-flies-speed-2.zrp
size=$(wc -c <$good)
check "a missing file is unreadable (exit 2)" verify_says nothing.zrp 2 '^unreadable: '
mkdir adir
check "a folder is unreadable (exit 2)" verify_says adir 2 '^unreadable: adir: not a regular file$'
head -c $((size / 2)) $good >truncated.zrp
check "a truncated replay is invalid" verify_says truncated.zrp 1 '^invalid: truncated'
cp $good flipped.zrp
printf '\x55' | dd of=flipped.zrp bs=1 seek=$((size - 40)) conv=notrunc status=none
check "a flipped byte is caught" verify_says flipped.zrp 1 '^invalid: checksum'
cp $good version.zrp
printf '\x09' | dd of=version.zrp bs=1 seek=4 conv=notrunc status=none
check "another format version is refused" verify_says version.zrp 1 '^invalid: another format version'
check "a replay of the first format names its recorder and says it is older" \
    verify_says "$SRC/tests/replays/older/10-flies-speed-2-format-1.zrp" 1 \
    "^invalid: another format version \\(1, older than this program's [0-9]+\\), recorded by zumble 1\\.0\\.0\$"
mkfifo fifo.zrp
secs=$(date +%s%N)
check "a named pipe is not a regular file (exit 2, no wait for a writer)" \
    verify_says fifo.zrp 2 '^unreadable: fifo.zrp: not a regular file$'
check "and that is said within a second" test $((($(date +%s%N) - secs) / 1000000)) -lt 1000
check "a device is not a regular file" verify_says /dev/zero 2 '^unreadable: /dev/zero: not a regular file$'
check "a missing file says the system's reason" verify_says nothing.zrp 2 '^unreadable: nothing.zrp: cannot open it: No such file'
out=$(timeout 20 "$ZUMBLE" --replay fifo.zrp 2>&1)
check "--replay of a named pipe says so at once (exit $?)" test "$out" = "zumble: cannot read the replay fifo.zrp: not a regular file"
printf 'not a replay at all\n' >text.zrp
check "a text file is not a replay" verify_says text.zrp 1 '^invalid: not a replay'
head -c 20000000 /dev/zero >huge.zrp
check "a huge file is refused without playing" verify_says huge.zrp 1 '^invalid: '
# --race refuses what it cannot race with one line and exit 2, before anything opens.
race_says() {  # race_says FILE PATTERN
    local out rc
    out=$(timeout 20 "$ZUMBLE" --headless --race "$1" --frames 1 2>&1 >/dev/null)
    rc=$?
    [ "$rc" -eq 2 ] && [ "$(echo "$out" | wc -l)" -eq 1 ] && echo "$out" | grep -Eq "$2" ||
        { echo "  --race $1: rc=$rc '$out'"; return 1; }
}
check "--race of a round left before its last fly is refused" \
    race_says "$SRC/tests/replays/left-early.zrp" 'its round was left before its last fly: it has no time to race$'
check "--race of a damaged file is refused" race_says flipped.zrp '^zumble: --race flipped.zrp: not a replay that can be played: checksum'
check "--race of a huge file is refused unread" race_says huge.zrp ': too long to be a replay$'
check "--race of a named pipe does not wait for a writer" race_says fifo.zrp ': not a regular file$'

# --- what no person sends, and signs of a machine -------------------------------------------
# replay_craft and replay_bot are built with the tests, beside the game.
CRAFT=$(dirname "$ZUMBLE")/replay_craft
BOT=$(dirname "$ZUMBLE")/replay_bot
if [ -x "$CRAFT" ] && [ -x "$BOT" ]; then
    rm -rf replays hiscoa.sav
    "$ZUMBLE" --headless --autoplay --script one.script --frames 5000 --time 1700000000 >/dev/null 2>&1 ||
        fail "the test player's round: exit code $?"
    cp replays/last.zrp auto.zrp
    export ZUMBLE_VERIFY_NOW=1700003600  # an hour after the rounds
    # crafted EDITS... REASON: the genuine round with EDITS is refused with exactly REASON.
    crafted() {
        local reason=${*: -1}
        "$CRAFT" auto.zrp crafted.zrp "${@:1:$#-1}" || { echo "  replay_craft $*: exit $?"; return 1; }
        verify_says crafted.zrp 1 "^invalid: $reason\$"
    }
    check "a cursor off the screen is refused, naming the frame" \
        crafted --offscreen 50 'the cursor leaves the 640x480 screen in frame 50, to \(-31,140\)'
    check "a cursor right of the screen is refused" \
        crafted --cursor 51 672 210 'the cursor leaves the 640x480 screen in frame 51, to \(672,210\)'
    check "five clicks in a frame are refused" \
        crafted --presses 60 5 'frame 60 has 5 presses of the button; a mouse gives at most 4 in the 5[01] ms around it'
    check "key strokes faster than a key repeats are refused" \
        crafted --keys 60 13 3 'frames 60 to 61 have 6 key strokes; a keyboard gives at most 4 in the 6[78] ms around them'
    check "a window activated on every frame is refused before it plays" \
        crafted --activations 1 200 'frame 1 has 200 activations of the window; the window system gives at most 3 in the 3 frames around it'
    check "a key the game never receives is refused" \
        crafted --key 70 65 'frame 70 has a key the game never receives \(key 65\)'
    check "a seed a day and a second ahead of the verifier's clock is refused" \
        crafted --seed-ahead 86401 "the round says it was played on 2023-11-15 23:13 UTC, more than a day after this verifier's clock \\(2023-11-14 23:13 UTC\\)"
    "$CRAFT" auto.zrp ahead.zrp --seed-ahead 86400 || fail "replay_craft --seed-ahead"
    out=$("$ZUMBLE" --verify ahead.zrp)
    check "a seed a day ahead is not refused for its date (the round then plays otherwise): '$out'" \
        test "$out" = "desync at frame 59"
    # A 10-fly round's clip, made twice, is the same bytes; replays that do not verify (one
    # the rules refuse before it plays, one that desyncs from its recording at frame 59)
    # leave no clip, and a file at the clip's name stays as it was. (tests/web/clip_test.mjs
    # plays a clip in Chromium.)
    ten="$SRC/tests/replays/10-flies-speed-2.zrp"
    "$ZUMBLE" --replay "$ten" --clip one.webm >clip.out 2>&1
    rc=$?
    "$ZUMBLE" --replay "$ten" --clip two.webm >/dev/null 2>&1
    check "a 10-fly round's clip is a WebM file of $(wc -c <one.webm 2>/dev/null) bytes (exit $rc): $(tail -1 clip.out)" \
        test "$rc" -eq 0 -a "$(od -An -tx1 -N4 one.webm | tr -d ' ')" = 1a45dfa3 -a "$(wc -c <one.webm)" -gt 10000
    check "the same replay's clip made again is the same bytes" cmp -s one.webm two.webm
    # Its still: the last frame that shows the round's clock, whose clock is the one of the
    # results board's first frame (the blink lit), not the one of a frame of its dark half.
    # With a caption, the same picture but for the band at its foot, which says it.
    TOOL="$SRC/tests/e2e/shot_tool.py"
    "$ZUMBLE" --replay "$ten" --clip still.png >still.out 2>&1
    "$ZUMBLE" --replay "$ten" --clip caption.png --clip-caption 'Zoë  10 flies, NORMAL  0:07.234' >/dev/null 2>&1
    lit=$("$ZUMBLE" --headless --replay "$ten" --trace still.trace >/dev/null 2>&1 &&
        grep -m1 -o '^frame=[0-9]* .* phase=1 ' still.trace | cut -d' ' -f1 | cut -d= -f2)
    printf '%s\n' "$lit shot lit.png" "$((lit + 40)) shot dark.png" >shots.script
    "$ZUMBLE" --headless --replay "$ten" --script shots.script >/dev/null 2>&1
    check "a still is made: $(tail -1 still.out)" grep -q '^still .*still.png: PNG, 640x480, frame [0-9]* of the round (the last that shows the clock)$' still.out
    check "the still's clock is lit, as on the board's first frame (frame $lit)" python3 "$TOOL" part still.png lit.png 230 24 350 44
    check "... which a frame of the blink's dark half is not" eval '! python3 "$TOOL" part dark.png lit.png 230 24 350 44 >/dev/null'
    check "a caption changes only the band at the still's foot, which says it" \
        python3 "$TOOL" band still.png caption.png 456 24 2 'Zo?  10 flies, NORMAL  0:07.234' "$SRC/platform/services/overlay_draw.cpp"
    "$CRAFT" auto.zrp off.zrp --offscreen 50 || fail "replay_craft --offscreen"
    echo "kept" >ahead.webm
    for bad in off ahead; do
        out=$("$ZUMBLE" --replay $bad.zrp --clip $bad.webm 2>&1)
        rc=$?
        check "no clip of $bad.zrp, which does not verify (exit $rc): $(echo "$out" | tr '\n' ' ')" \
            test "$rc" -eq 1 -a ! -e $bad.webm.partial -a "$(cat $bad.webm 2>/dev/null)" = "$([ $bad = ahead ] && echo kept)"
    done
    # One round, one identity, whatever the header says; the test player shows.
    auto=$("$ZUMBLE" --verify auto.zrp)
    check "the test player's round: its flag and the test player's path: '$auto'" \
        eval 'echo "$auto" | grep -Eq " played=1700000000 program=[^ ]+ autoplay=1 touch=0 pad=0 signs=[^ ]*autoplay_path:"'
    "$CRAFT" auto.zrp renamed.zrp --program 'another name' --flags 6 || fail "replay_craft --program"
    renamed=$("$ZUMBLE" --verify renamed.zrp)
    check "another program text and flags: the same round, the text encoded: '$renamed'" \
        test "${renamed#* round=}" != "$renamed" -a "$(echo "$renamed" | field round)" = "$(echo "$auto" | field round)" \
        -a "$(echo "$renamed" | field program)" = "another%20name" -a "$(echo "$renamed" | field touch)" = 1
    "$CRAFT" auto.zrp stripped.zrp --clear-autoplay || fail "replay_craft --clear-autoplay"
    stripped=$("$ZUMBLE" --verify stripped.zrp)
    check "the test player's round with its flag cleared still shows its path: '$stripped'" \
        eval 'echo "$stripped" | grep -Eq " autoplay=0 .* signs=[^ ]*autoplay_path:[0-9]+/[0-9]+"'
    # A machine that swats on every frame, without the flag.
    rm -rf replays hiscoa.sav
    "$BOT" --headless --script one.script --frames 5000 --time 1700000000 >bot.out 2>&1 || fail "replay_bot: exit code $?"
    bot=$("$ZUMBLE" --verify replays/last.zrp)
    check "a bot that swats on every frame verifies, with its signs: '$bot'" \
        eval 'echo "$bot" | grep -Eq "^ok .* autoplay=0 .* signs=[^ ]*jump_swats:[0-9/]+.*fast_swats:[0-9/]+"'
    # A machine under the simple signs: it follows the fly a frame ahead, never rests,
    # presses 3 pixels off the test player's pixel, half its reactions 133 ms, half none;
    # with the touch flag its glides between taps show.
    for touch in "" --touch; do
        rm -rf replays hiscoa.sav
        "$BOT" --careful $touch --headless --script one.script --frames 5000 --time 1700000000 >bot.out 2>&1 ||
            fail "replay_bot --careful $touch: exit code $?"
        careful=$("$ZUMBLE" --verify replays/last.zrp)
        want='touch=0 pad=0 signs=fast_swats:[0-9/]+,landing_spread:[0-9.]+px'
        [ -z "$touch" ] || want='touch=1 pad=0 signs=touch_glide:[0-9/]+,fast_swats:[0-9/]+,landing_spread:[0-9.]+px'
        check "a bot under the simple signs${touch:+ with the touch flag}: its swats' pace and landing show: '$careful'" \
            eval 'echo "$careful" | grep -Eq "^ok .* autoplay=0 $want keys=0 "'
    done
    # A machine that steers the random sequence (it tries each press frame of the next 16
    # on a copy of what decides the next flies) and keeps each swat just above a person's
    # floors, on smooth paths, waiting where the next fly will show, the last fly at once:
    # held on every mode tried, its swats near the floors. Steered one swat in ten, no
    # steering sign on that alone.
    mode_script() {  # FLIES SPEED: mode select's arrows from 30 flies, speed 2, then start
        local f=10
        {
            echo '0 move 300 300'
            echo '3 click'
            case $1 in 10) x=125 n=1 ;; 100) x=515 n=1 ;; *) n=0 ;; esac
            for _ in $(seq "$n"); do echo "$f move $x 85"; echo "$((f + 2)) click"; f=$((f + 4)); done
            case $2 in 1) x=125 n=1 ;; 3) x=515 n=1 ;; 4) x=515 n=2 ;; *) n=0 ;; esac
            for _ in $(seq "$n"); do echo "$f move $x 200"; echo "$((f + 2)) click"; f=$((f + 4)); done
            echo "$f move 320 320"
            echo "$((f + 2)) click"
            echo '20000 key escape'
            echo '20010 key escape'
        } >mode.script
    }
    for mode in "10 1" "10 4" "30 2" "100 3"; do
        rm -rf replays hiscoa.sav
        mode_script $mode
        "$BOT" --steer --headless --script mode.script --frames 20500 --time 1700000000 >bot.out 2>&1 ||
            fail "replay_bot --steer ($mode): exit code $?"
        steer=$("$ZUMBLE" --verify replays/last.zrp)
        flies=${mode% *} speed=${mode#* }
        check "a machine that steers, $flies flies at speed $speed: held for its swats near the floors: '$steer'" \
            eval 'echo "$steer" | grep -Eq "^ok flies=$flies speed=$speed .* autoplay=0 touch=0 pad=0 signs=[^ ]*near_floor:[0-9]+/[0-9]+"'
    done
    rm -rf replays hiscoa.sav
    "$BOT" --steer-every 10 --headless --script one.script --frames 5000 --time 1700000000 >bot.out 2>&1 ||
        fail "replay_bot --steer-every 10: exit code $?"
    little=$("$ZUMBLE" --verify replays/last.zrp)
    check "steered one swat in ten: no steering sign: '$little'" \
        eval 'echo "$little" | grep -Eq "^ok .* signs=[^ ]+ keys=" && ! echo "$little" | grep -q steering'
    # A person-like hand: no signs, the round as dealt. Its copies (a pixel's move in a
    # frame, one more click on the results, a tick later after the clock stopped) are
    # other inputs but the same swats; another hand on the same seed is another round.
    hand_round() { python3 "$SRC/tests/e2e/human_round.py" "$ZUMBLE" "$SRC" "$@" >/dev/null || fail "human_round.py $*"; }
    hand_round hand.zrp --time 1700000000 --script hand.script
    hand=$("$ZUMBLE" --verify hand.zrp)
    check "a person-like hand: no signs, no keys: '$hand'" eval 'echo "$hand" | grep -Eq "^ok .* signs=- keys=0 swats=[0-9a-f]{64} swat_frames=[A-Za-z0-9_-]+$"'
    # R a while into the round: it ends as a round left by Escape ends, and the mode
    # starts again at once, as if its Start were clicked. The hand's round, moved on by 33
    # frames (three flips a whole number of ticks), plays on the new one to the same swats
    # and time, without signs; each replay is kept and named in the history.
    rm -rf replays hiscoa.sav history.txt
    click=$(awk '$2 == "click" { f = $1 } END { print f }' hand.script)
    awk -v s="$click" '$1 <= s { print; next } !r { print s + 31 " key r"; r = 1 } { $1 += 33; print }' hand.script >retry.script
    "$ZUMBLE" --headless --script retry.script --time 1700000000 --frames $(($(tail -1 retry.script | cut -d' ' -f1) + 150)) \
        >retry.out 2>&1 || fail "the retried round: exit code $?"
    kept() { echo "replays/round-$(sed -n "$1s/.* round=\([0-9a-f]\{16\}\).*/\1/p" history.txt).zrp"; }
    check "R mid-round: two rounds in the history, the first left: $(cut -d' ' -f4 history.txt | tr '\n' ' ')" \
        test "$(wc -l <history.txt)" -eq 2 -a "$(sed -n 1p history.txt | cut -d' ' -f4)" = time_ms=left
    out=$("$ZUMBLE" --verify "$(kept 1)")
    check "the round left by R plays to its end as one left by Escape: '$out'" \
        test "$out" = "invalid: the round was left before its last fly and has no time"
    again=$("$ZUMBLE" --verify "$(kept 2)")
    as_hand() {
        echo "$again" | grep -Eq "^ok .* signs=- keys=0 " && [ "$(echo "$again" | field swats)" = "$(echo "$hand" | field swats)" ] &&
            [ "$(echo "$again" | field time_ms)" = "$(echo "$hand" | field time_ms)" ]
    }
    check "the round R started verifies, without signs, to the hand's swats and time: '$again'" as_hand
    stop=$(($(echo "$hand" | field time_ms) * 60 / 1000))
    "$CRAFT" hand.zrp copy-nudged.zrp --nudge 100 || fail "replay_craft --nudge"
    "$CRAFT" hand.zrp copy-clicked.zrp --presses $((stop + 12)) 1 || fail "replay_craft --presses"
    "$CRAFT" hand.zrp copy-later.zrp --ticks $((stop + 5)) 1 || fail "replay_craft --ticks"
    for c in nudged clicked later; do
        copy=$("$ZUMBLE" --verify copy-$c.zrp)
        check "a copy of the hand's round, $c: another round, the same swats and time: '$copy'" \
            test "$(echo "$copy" | field round)" != "$(echo "$hand" | field round)" -a \
            "$(echo "$copy" | field swats)" = "$(echo "$hand" | field swats)" -a \
            "$(echo "$copy" | field time_ms)" = "$(echo "$hand" | field time_ms)"
    done
    hand_round hand2.zrp --time 1700000000 --hand 2
    check "another hand on the same seed: other swats" \
        test "$("$ZUMBLE" --verify hand2.zrp | field swats)" != "$(echo "$hand" | field swats)"
    # Enter four times as the round begins: three change the spawn rate (the fourth finds
    # it at its least); Space once every fly has come changes nothing that was dealt.
    rm -rf replays hiscoa.sav
    printf '%s\n' '0 move 300 300' '3 click' '10 move 120 80' '12 click' '16 move 320 320' '18 click' \
        '30 key return' '31 key return' '32 key return' '33 key return' '50 key space' '3000 key escape' \
        '3010 key escape' >keys.script
    "$ZUMBLE" --headless --autoplay --script keys.script --frames 5000 >/dev/null 2>&1 || fail "the keys' round: exit code $?"
    keys=$("$ZUMBLE" --verify replays/last.zrp)
    check "the Enters that hurried the round count, Enter at its least and Space too late do not: '$keys'" \
        test "$(echo "$keys" | field keys)" = 3
    check "the history counts them as --verify does: $(tail -1 history.txt | cut -d' ' -f7)" \
        eval 'tail -1 history.txt | grep -Eq " round=[0-9a-f]{64} keys=3$"'
    check "--history says the round's pace was changed: $(TZ=UTC "$ZUMBLE" --history | tail -1)" \
        eval 'TZ=UTC "$ZUMBLE" --history | tail -1 | grep -q "  pace changed with Enter or Space$" &&
              ! TZ=UTC "$ZUMBLE" --history | head -n -1 | grep -q "pace changed"'
    # A line of a game from before keys= still reads, its pace unchanged; one that says
    # keys twice is not the game's.
    cp history.txt history.keep
    { tail -1 history.keep | sed 's/ keys=3$//'; tail -1 history.keep | sed 's/ keys=3$/ keys=3 keys=3/'; } >history.txt
    check "an older line lists without the mark, a line with keys= twice is skipped" \
        eval '[ "$(TZ=UTC "$ZUMBLE" --history 2>&1 | grep -c "pace changed\|could not be read")" = 1 ] &&
              [ "$(TZ=UTC "$ZUMBLE" --history 2>/dev/null | wc -l)" = 1 ]'
    mv history.keep history.txt
    # The corpus: every round the test player's, each with its signs.
    bad=0
    for f in "$SRC"/tests/replays/*.zrp; do
        out=$("$ZUMBLE" --verify "$f" 2>/dev/null)
        case $out in
            "ok "*" autoplay=1 "*" signs=- "*) bad=$((bad + 1)); echo "  $f: no signs" ;;
            "ok "*" autoplay=0 "*" signs=- "* | invalid:*) ;;
            "ok "*" autoplay=1 "*) ;;
            *) bad=$((bad + 1)); echo "  $f: $out" ;;
        esac
    done
    check "the corpus verifies, and its test player's rounds show signs" test "$bad" -eq 0

    # --- one stream answers as a process each does ---------------------------------------
    # 200 replays through one --verify-stream against --verify in a process of its own for
    # each: the same lines byte for byte. Human-like rounds, the corpus, crafted refusals
    # and desyncs (other seeds) and damaged files, interleaved and some sent again, so
    # that every replay comes after others that left the game in other states.
    mkdir stream
    { python3 "$SRC/tests/e2e/human_round.py" "$ZUMBLE" "$SRC" "stream/h-%d.zrp" --time 1700000500 --variants 60 &&
      python3 "$SRC/tests/e2e/human_round.py" "$ZUMBLE" "$SRC" "stream/t-%d.zrp" --time 1700000900 --flies 30 --speed 3 \
          --variants 20; } >/dev/null || fail "the human-like rounds for the stream"
    n=0
    for edit in "--offscreen 40" "--offscreen 200" "--cursor 80 700 10" "--presses 30 5" "--presses 90 6" \
        "--key 50 65" "--key 120 66" "--seed 1700000001" "--seed 1699990000" "--seed-ahead 90000" \
        "--seed-ahead 86400" "--set-autoplay" "--clear-autoplay" "--flags 2" "--flags 4" "--program other"; do
        for from in auto.zrp stream/h-1.zrp stream/t-2.zrp; do
            n=$((n + 1))
            "$CRAFT" "$from" "stream/c-$n.zrp" $edit || fail "replay_craft $from $edit"
        done
    done
    for k in 1 2 3 4 5 6; do
        head -c $((k * $(wc -c <stream/h-$k.zrp) / 7)) "stream/h-$k.zrp" >"stream/cut-$k.zrp"
        cp "stream/t-$k.zrp" "stream/flip-$k.zrp"
        printf '\x5a' | dd of="stream/flip-$k.zrp" bs=1 seek=$((100 + 97 * k)) conv=notrunc status=none
    done
    files=("$SRC"/tests/replays/*.zrp "$SRC"/tests/replays/older/*.zrp stream/*.zrp truncated.zrp flipped.zrp \
           version.zrp text.zrp huge.zrp)
    : >stream.in
    : >stream.want
    to_stream() {  # FILE: into the stream's input, and what --verify says of it to the answers wanted
        printf '%d\n' "$(wc -c <"$1")" >>stream.in
        cat "$1" >>stream.in
        out=$("$ZUMBLE" --verify "$1" 2>/dev/null)
        echo "exit $? $out" >>stream.want
    }
    for i in $(seq 0 199); do to_stream "${files[$((i * 37 % ${#files[@]}))]}"; done
    # Then the 40 person-like 10-fly rounds of tests/replays/hands/, one seed each.
    hands=("$SRC"/tests/replays/hands/*.zrp)
    for f in "${hands[@]}"; do to_stream "$f"; done
    "$ZUMBLE" --verify-stream <stream.in >stream.out 2>stream.err
    rc=$?
    check "--verify-stream greets, then ends with its input (exit $rc)" \
        test "$rc" -eq 0 -a "$(head -1 stream.out)" = "zumble-verify-stream 1" -a ! -s stream.err
    tail -n +2 stream.out >stream.got
    check "one --verify-stream answers ${#files[@]} replays, 200 in all, and ${#hands[@]} hands' rounds as a --verify process for each does" \
        cmp -s stream.want stream.got
    cmp -s stream.want stream.got || diff stream.want stream.got | head -5
    check "among them rounds that verify, refusals and desyncs" \
        test "$(grep -c '^exit 0 ok ' stream.want)" -gt 50 -a "$(grep -c '^exit 1 invalid: ' stream.want)" -gt 20 \
        -a "$(grep -c '^exit 1 desync at frame ' stream.want)" -gt 5 \
        -a "$(tail -n "${#hands[@]}" stream.want | grep -c '^exit 0 ok flies=10 .* signs=- ')" -eq 40
    # --- a round followed as it comes ----------------------------------------------------
    # --verify-follow, fed a replay's records in pieces (some cut inside a frame), ends
    # with the very line and status --verify gives for the file, and tells every swat of
    # a round that verifies on the way.
    follow_files=("$SRC"/tests/replays/*.zrp "$SRC"/tests/replays/older/*.zrp "${hands[@]:0:8}" \
                  stream/c-2[0-9].zrp stream/cut-[1-3].zrp stream/flip-[1-3].zrp flipped.zrp version.zrp)
    : >follow.want
    : >follow.got
    swats_bad=0
    for f in "${follow_files[@]}"; do
        want=$("$ZUMBLE" --verify "$f" 2>/dev/null)
        echo "exit $? $want" >>follow.want
        python3 "$SRC/tests/e2e/follow_records.py" "$f" | "$ZUMBLE" --verify-follow >follow.out 2>/dev/null
        echo "exit $? $(tail -1 follow.out)" >>follow.got
        case "$want" in
            "ok flies="*)
                flies=${want#ok flies=}
                [ "$(grep -c '^swat ' follow.out)" -eq "${flies%% *}" ] &&
                    grep -q "^swat ${flies%% *} left=0 flies=${flies%% *} clock_ms=" follow.out ||
                    { swats_bad=$((swats_bad + 1)); echo "  $f: $(grep -c '^swat ' follow.out) swats"; } ;;
        esac
    done
    check "--verify-follow ends as --verify for ${#follow_files[@]} replays fed in pieces" cmp -s follow.want follow.got
    cmp -s follow.want follow.got || diff follow.want follow.got | head -5
    check "among them rounds that verify, refusals and desyncs" \
        test "$(grep -c '^exit 0 ok ' follow.want)" -gt 10 -a "$(grep -c '^exit 1 invalid: ' follow.want)" -gt 3 \
        -a "$(grep -c '^exit 1 desync at frame ' follow.want)" -gt 0
    check "--verify-follow tells each swat of a round that verifies, the last with no fly left" test "$swats_bad" -eq 0
    # Half a round sent: the follower says how far it played and waits, asleep, for more.
    mkfifo follow.go
    exec 8<>follow.go
    python3 "$SRC/tests/e2e/follow_records.py" "$SRC/tests/replays/100-flies-speed-4.zrp" --pause <&8 |
        sh -c 'echo $$ >follow.pid; exec "$0" --verify-follow' "$ZUMBLE" >follow.half 2>&1 &
    wait_until 120 grep -q '^frames ' follow.half
    follower=$(cat follow.pid)
    wait_until 60 grep -q ') S ' "/proc/$follower/stat"
    state=$(cut -d' ' -f3 "/proc/$follower/stat" 2>/dev/null)
    played=$(grep '^frames ' follow.half | tail -1 | cut -d' ' -f2)
    echo >&8
    wait
    exec 8>&-
    frames=$(u32 "$SRC/tests/replays/100-flies-speed-4.zrp" 52)
    check "half a round: the follower played $played of $frames frames and waited asleep ($state), then ended ok" \
        test "$state" = S -a "${played:-0}" -gt 0 -a "${played:-0}" -lt "$frames" -a "$(tail -1 follow.half | cut -c1-3)" = "ok "
    out=$(ZUMBLE_VERIFY_NOW=tomorrow "$ZUMBLE" --verify auto.zrp; echo "rc=$?")
    check "a test clock that is not a number is an error: '$out'" \
        test "$out" = "$(printf 'error: ZUMBLE_VERIFY_NOW is not a number of seconds since 1970\nrc=2')"
    unset ZUMBLE_VERIFY_NOW
    out=$(ZUMBLE_SAMPLE_KEY=secret "$ZUMBLE" --verify auto.zrp; echo "rc=$?")
    check "a sample key that is not hexadecimal is an error: '$out'" \
        test "$out" = "$(printf 'error: ZUMBLE_SAMPLE_KEY is not a hexadecimal number\nrc=2')"
    { printf 'h 68\n'; head -c 68 auto.zrp; } >bad_key.records
    out=$(ZUMBLE_SAMPLE_KEY=secret "$ZUMBLE" --verify-follow <bad_key.records; echo "rc=$?")
    check "and for a round followed as it comes: '$out'" \
        test "$out" = "$(printf 'error: ZUMBLE_SAMPLE_KEY is not a hexadecimal number\nrc=2')"
    # The key chooses which swats of a long round are ranked for steering, nothing else.
    long=$SRC/tests/replays/1000-flies-speed-2.zrp
    check "the 1000-fly round verifies alike with the board's secret sample key" \
        test "$(ZUMBLE_SAMPLE_KEY=9e3779b97f4a7c15 "$ZUMBLE" --verify "$long")" = "$("$ZUMBLE" --verify "$long")"
    # The stream greets once it has started the game for its verifications, and SIGTERM
    # still ends it.
    mkfifo idle.in
    "$ZUMBLE" --verify-stream <idle.in >idle.out 2>&1 &
    stream=$!
    exec 7>idle.in
    wait_until 120 grep -q . idle.out
    kill -TERM "$stream"
    # Ended (a zombie until waited for), or killed after a minute so the test goes on.
    # (bash may already have reaped it: then its /proc entry is gone)
    ended() { [ ! -e "/proc/$stream" ] || grep -q ') Z' "/proc/$stream/stat" 2>/dev/null; }
    wait_until 60 ended || kill -KILL "$stream"
    wait "$stream"
    rc=$?
    exec 7>&-
    check "SIGTERM ends a waiting --verify-stream (status $rc)" test "$rc" -eq 143
else
    echo "SKIP: replay_craft and replay_bot are not built (the tests were not configured)"
fi

finish
