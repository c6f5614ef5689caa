#!/usr/bin/env bash
# Replays across systems: zumble.exe under Wine verifies the corpus (replays recorded by
# the Linux game) to the results the Linux game gives; a round recorded by zumble.exe is
# the Linux game's replay byte for byte, and verifies natively to the time in the
# hiscoa.sav zumble.exe wrote; replaying in zumble.exe writes nothing.
set -u
. "$(dirname "$0")/wine.bash" "$@"
start_wine

data_folder win
cp "$BUILD_WINDOWS/zumble.exe" win/
cp "$SRC"/tests/replays/*.zrp win/

# 1. The corpus, verified by zumble.exe.
while read -r file result; do
    out=$(cd win && timeout 120 "$WINE" zumble.exe --verify "$file" 2>/dev/null | tr -d '\r')
    check "zumble.exe verifies $file to '$result' (got '$out')" test "$out" = "$result"
done <"$SRC/tests/replays/expected.txt"
check "verifying wrote nothing" test ! -e win/hiscoa.sav -a ! -e win/error.txt -a ! -e win/replays

# 2. A round recorded by zumble.exe, and the same run on Linux.
cat >round.txt <<'S'
0 move 300 300
3 click
10 move 120 80
12 click
16 move 320 320
18 click
3000 key escape
3010 key escape
S
data_folder linux
ARGS="--headless --autoplay --script ../round.txt --frames 5000 --time 1300000000"
(cd linux && "$LINUX_ZUMBLE" $ARGS >out.txt 2>err.txt)
check "Linux: the round's run exits 0" test $? -eq 0
(cd win && timeout 300 "$WINE" zumble.exe $ARGS >out.txt 2>err.txt)
check "Windows: the round's run exits 0" test $? -eq 0
check "zumble.exe kept the round's replay" test -s win/replays/last.zrp -a -s win/replays/best-10-2-1.zrp
check "zumble.exe's replay is the Linux game's, byte for byte" cmp linux/replays/last.zrp win/replays/last.zrp
want=$(od -A n -t u4 -j $((12 + 4 * 5)) -N 4 win/hiscoa.sav | tr -d ' ')
out=$("$LINUX_ZUMBLE" --verify win/replays/last.zrp 2>/dev/null)
check "zumble.exe's replay verifies natively to its hiscoa.sav's $want ms: '$out'" \
    test "$(echo "$out" | sed -n 's/^ok flies=10 speed=2 time_ms=\([0-9]*\) .*/\1/p')" = "$want"

finish
