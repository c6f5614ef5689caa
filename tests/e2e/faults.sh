#!/usr/bin/env bash
# Faults from outside: data folders missing or broken, a game killed at any moment while
# it saves, an "error.txt" that cannot be written. The game must degrade quietly, never
# crash, and "hiscoa.sav" must always hold a whole table, old or new.
set -u
. "$(dirname "$0")/common.bash"
valid_table() {  # a whole file: 332 bytes, the magic, size and version
    [ "$(stat -c %s "$1" 2>/dev/null)" = 332 ] && [ "$(head -c 4 "$1")" = ZUSV ] &&
        [ "$(od -A n -t u4 -j 4 -N 8 "$1" | tr -s ' ')" = " 332 1" ]
}

# 1. No bmp/ and no wave/ anywhere near the game: black scenes, every slot silent, eleven
#    "ERROR_1" in error.txt, and the game still plays through its scenes. Each data file
#    is named once on stderr, however often it is asked for.
BARE=$(mktemp -d /tmp/zumble-bare-XXXXXX)
trap 'rm -rf "$WORK" "$BARE"' EXIT
cp "$ZUMBLE" "$BARE/zumble" && cd "$BARE"
printf '0 move 300 300\n3 click\n20 move 320 320\n21 click\n60 shot round.png\n80 key escape\n90 key escape\n100 key escape\n' > s.txt
./zumble --headless --script s.txt --frames 400 --trace t.txt > out.txt 2>&1
check "no data: exit 0" test $? -eq 0
check "no data: eleven ERROR_1" test "$(grep -c '^ERROR_1' error.txt)" -eq 11
check "no data: the round was played" grep -q ' scene=8 ' t.txt
check "no data: it ended by quitting from the title" test "$(tail -1 t.txt | field scene)" = 3
check "no data: best times written" valid_table hiscoa.sav
check "no data: each of the eleven data files named once on stderr" test "$(grep '^zumble: cannot open' out.txt | sort)" = "$(
    for f in bmp/game.bmp bmp/gamemode.bmp bmp/title.bmp wave/bgm1.wav wave/button1.wav wave/cry1.wav \
             wave/hit1.wav wave/ok1.wav wave/swing1.wav wave/tclick1.wav wave/tclick2.wav; do
        echo "zumble: cannot open $f: No such file or directory"
    done)"
check "no data: a black screen" test "$(python3 -c "
import zlib,struct,sys
d=open('round.png','rb').read(); i=8; raw=b''
while i < len(d):
    n=struct.unpack('>I',d[i:i+4])[0]; t=d[i+4:i+8]
    if t==b'IDAT': raw+=d[i+8:i+8+n]
    i+=12+n
px=zlib.decompress(raw)
print(sum(1 for j,b in enumerate(px) if j % 1921 and b))")" = 0
cd "$WORK"

# 2. Broken data: bitmaps that are folders, cut short or of another depth; sounds cut
#    short or empty. Each degrades on its own.
mkdir -p broken/bmp broken/wave && cd broken
mkdir bmp/title.bmp
head -c 500 "$SRC/bmp/gamemode.bmp" > bmp/gamemode.bmp
head -c 200000 "$SRC/bmp/game.bmp" > bmp/game.bmp
for w in "$SRC"/wave/*.wav; do cp "$w" wave/; done
: > wave/hit1.wav
head -c 30 "$SRC/wave/cry1.wav" > wave/cry1.wav
mkdir -p wave/bgm1.wav.d && rm -f wave/bgm1.wav && mkdir wave/bgm1.wav
"$ZUMBLE" --headless --script "$BARE/s.txt" --frames 400 --trace t.txt > out.txt 2>&1
check "broken data: exit 0" test $? -eq 0
check "broken data: the round was played" grep -q ' scene=8 ' t.txt
check "broken data: the empty hit sound, three times" test "$(grep -c '^ERROR_3' error.txt)" -ge 3
check "broken data: the cut buzz" grep -q '^ERROR_9\|^ERROR_3' error.txt
check "broken data: a folder for the music is a missing file" test "$(grep -c '^ERROR_1' error.txt)" -eq 1
check "broken data: best times written" valid_table hiscoa.sav
# Files that open but hold too little are the game's to judge (error.txt); the folders in
# the files' places cannot be opened at all.
check "broken data: the two folders named on stderr" test "$(grep '^zumble: cannot open' out.txt | sort)" = \
    "$(printf 'zumble: cannot open bmp/title.bmp: Is a directory\nzumble: cannot open wave/bgm1.wav: Is a directory')"
cd "$WORK"

# 3. An error.txt that cannot be written (a folder stands in its way): no crash.
mkdir -p noerr && cd noerr && ln -s "$SRC/bmp" bmp && ln -s "$SRC/wave" wave && mkdir error.txt
"$ZUMBLE" --headless --frames 30 > out.txt 2>&1
check "unwritable error.txt: exit 0" test $? -eq 0
cd "$WORK"

# 4. Killed at any moment: a run that leaves and enters a round over and over (every
#    leave saves) is killed with SIGKILL after a random delay; the file is always whole,
#    and a leftover temporary file does not disturb the next run.
mkdir -p kill && cd kill && ln -s "$SRC/bmp" bmp && ln -s "$SRC/wave" wave
{
    echo "0 move 300 300"; echo "3 click"
    for ((f = 20; f < 20000; f += 12)); do
        echo "$f move 320 320"; echo "$((f + 1)) click"; echo "$((f + 6)) key escape"
    done
} > churn.txt
"$ZUMBLE" --headless --frames 40 > /dev/null 2>&1
check "a first table" valid_table hiscoa.sav
broken=0
for i in $(seq 1 25); do
    "$ZUMBLE" --headless --script churn.txt --frames 20000 > /dev/null 2>&1 &
    pid=$!
    sleep "0.$((RANDOM % 9 + 1))$((RANDOM % 10))"
    kill -KILL $pid 2>/dev/null
    wait $pid 2>/dev/null
    valid_table hiscoa.sav || broken=$((broken + 1))
done
check "after 25 kills the table is always whole ($broken broken)" test $broken -eq 0
printf 'junk' > hiscoa.sav.tmp
"$ZUMBLE" --headless --frames 40 > /dev/null 2>&1
check "a leftover temporary file is harmless" valid_table hiscoa.sav
cd "$WORK"

# 5. One bitmap and one sound missing beside the others: each named on stderr once (mode
#    select is visited twice), and what the game does and writes is what it did before
#    anything was said: the same trace as with every file there, and error.txt with the
#    three hit slots' codes only (its bytes are fixed below).
mkdir -p partial/bmp partial/wave whole && cd partial
for f in "$SRC"/bmp/*; do [ "${f##*/}" = gamemode.bmp ] || ln -s "$f" bmp/; done
for f in "$SRC"/wave/*; do [ "${f##*/}" = hit1.wav ] || ln -s "$f" wave/; done
printf '0 move 300 300\n3 click\n20 key escape\n30 move 300 300\n33 click\n50 key escape\n60 key escape\n' > s.txt
"$ZUMBLE" --headless --script s.txt --frames 100 --trace t.txt > out.txt 2> err.txt
check "partial data: exit 0" test $? -eq 0
check "partial data: mode select was shown twice" test "$(awk '{print $3}' t.txt | uniq | grep -c '^scene=5$')" -eq 2
check "partial data: one line for each missing file, nothing else on stderr" test "$(cat err.txt)" = \
    "$(printf 'zumble: cannot open wave/hit1.wav: No such file or directory\nzumble: cannot open bmp/gamemode.bmp: No such file or directory')"
printf '%s\r\n' '******************************' '  Error File Write  Ver1.0    ' '     Zumble error report      ' \
    '******************************' '' '' '' 'Write Start' '------------------------------' '' \
    ERROR_1 ERROR_1 ERROR_1 '' '------------------------------' 'Write End' > want-error.txt
check "partial data: error.txt holds the hit slots' codes, as ever" cmp -s error.txt want-error.txt
cd "$WORK/whole" && ln -s "$SRC/bmp" bmp && ln -s "$SRC/wave" wave
"$ZUMBLE" --headless --script ../partial/s.txt --frames 100 --trace t.txt > out.txt 2> err.txt
check "whole data: nothing on stderr" test ! -s err.txt
check "partial data: the same trace as with every file there" cmp -s t.txt ../partial/t.txt
# 6. A sound far below any sound card's rate (100 Hz, 200 KB) would grow 220 times over
#    at the mix rate and take minutes to convert: the buffer is refused (ERROR_12, for
#    each of the three hit slots) and the run starts and ends as usual. The time to the
#    first frame is printed, not judged.
cd "$WORK"
mkdir -p lowrate/wave && cd lowrate && ln -s "$SRC/bmp" bmp
for w in "$SRC"/wave/*.wav; do cp "$w" wave/; done
python3 - <<'P'
import struct
data = bytes(0x80 + (i % 64) for i in range(200000))
fmt = struct.pack('<HHIIHH', 1, 1, 100, 100, 1, 8)
body = b'WAVE' + b'fmt ' + struct.pack('<I', 16) + fmt + b'data' + struct.pack('<I', len(data)) + data
open('wave/hit1.wav', 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
P
"$ZUMBLE" --headless --frames 30 --timedemo > out.txt 2>&1
check "100 Hz sound: exit 0" test $? -eq 0
check "100 Hz sound: refused for each hit slot" test "$(grep -c '^ERROR_12' error.txt)" -eq 3
check "100 Hz sound: nothing else refused" test "$(grep -c '^ERROR' error.txt)" -eq 3
echo "100 Hz sound: $(grep -o 'first_flip_ms=[^ ]*\|wall_ms=[^ ]*' out.txt | tr '\n' ' ')"
finish
