#!/usr/bin/env bash
# A headless run: its trace and shots, determinism, and the refusal of bad input.
set -u
. "$(dirname "$0")/common.bash"

cat > script.txt <<'S'
# frame verb args
0 move 300 200
10 shot a.png
30 click
60 shot b.png
S
"$ZUMBLE" --headless --frames 120 --trace t1.txt --script script.txt > out1.txt 2>&1
check "first run exits 0" test $? -eq 0
mv a.png a1.png; mv b.png b1.png
"$ZUMBLE" --headless --frames 120 --trace t2.txt --script script.txt > out2.txt 2>&1
check "second run exits 0" test $? -eq 0
check "120 trace lines" test "$(wc -l < t1.txt)" -eq 120
check "identical traces" cmp -s t1.txt t2.txt
check "identical shots" cmp -s a1.png a.png
check "identical later shots" cmp -s b1.png b.png
check "shot is a PNG" test "$(head -c 8 a.png | od -An -c | tr -d ' ')" = '211PNG\r\n032\n'
ok=1
n=0
while read -r line; do
    n=$((n + 1))
    frame=$(echo "$line" | field frame)
    tick=$(echo "$line" | field tick)
    [ "$frame" = "$n" ] || ok=0
    [ "$tick" = "$((n * 1000 / 60))" ] || ok=0
done < t1.txt
check "frame=N tick=floor(N*1000/60)" test $ok -eq 1
check "--tick0 moves the clock" bash -c "'$ZUMBLE' --headless --frames 3 --tick0 5000 --trace t3.txt && sed -n 3p t3.txt | grep -q 'tick=5050 '"
check "error.txt written" test -s error.txt
check "the cursor follows the script" grep -q 'frame=5 .*cursor=300,200' t1.txt

# Frame-0 events act once the display exists: surfaces lost at frame 0 leave nothing to
# see until the activation at frame 10 restores them and reloads the title's bitmap; from
# then on the frames equal those of a run that lost nothing.
printf '0 lose-surfaces\n10 shot lost10.png\n10 activate\n20 shot lost20.png\n' > lose.txt
printf '10 shot kept10.png\n20 shot kept20.png\n' > keep.txt
"$ZUMBLE" --headless --frames 25 --script lose.txt > /dev/null 2>&1
check "lost run exits 0" test $? -eq 0
"$ZUMBLE" --headless --frames 25 --script keep.txt > /dev/null 2>&1
check "kept run exits 0" test $? -eq 0
check "surfaces lost at frame 0 show nothing" bash -c '! cmp -s lost10.png kept10.png'
check "the activation brings the title back" cmp -s lost20.png kept20.png

# Bad input: one line, exit 2, no window and no file. Every run is bounded (--frames,
# and a timeout where a wrong acceptance could block), so a bad input taken as good
# fails here at once instead of running on.
rm -f error.txt hiscoa.sav
printf '0 move 10 10\n12 clik\n' > bad.txt
"$ZUMBLE" --headless --frames 5 --script bad.txt --trace tb.txt 2> err.txt
check "bad verb exits 2" test $? -eq 2
check "bad verb message" grep -qx "zumble: script line 2: unknown verb 'clik'" err.txt
check "one line" test "$(wc -l < err.txt)" -eq 1
check "no file written" test ! -e tb.txt -a ! -e error.txt -a ! -e hiscoa.sav
for bad in "5 move 640 0" "5 move 0 480" "5 key tab" "x click" "9 click\n3 click" "1 shot" "5 click 3"; do
    printf "$bad\n" > bad.txt
    "$ZUMBLE" --headless --frames 5 --script bad.txt 2> err.txt
    check "bad script '$bad' exits 2" test $? -eq 2
    check "bad script '$bad' one line" test "$(wc -l < err.txt)" -eq 1
done
"$ZUMBLE" --headless --frames 5 --frobnicate 2> err.txt
check "unknown option exits 2" test $? -eq 2
check "unknown option message" grep -q "unknown option '--frobnicate'" err.txt
# The bad count comes first: the good one after it bounds the run should it be taken.
"$ZUMBLE" --headless --frames -3 --frames 5 2> err.txt
check "negative frames exits 2" test $? -eq 2
timeout 20 "$ZUMBLE" --script script.txt --frames 5 2> err.txt
check "script without headless exits 2" test $? -eq 2
"$ZUMBLE" --headless --frames 5 --script missing.txt 2> err.txt
check "missing script exits 2" test $? -eq 2
# A folder or a named pipe is no script: refused at once (a pipe must not block the run).
mkdir -p script-folder
rm -f script-pipe; mkfifo script-pipe
for odd in script-folder script-pipe; do
    timeout 20 "$ZUMBLE" --headless --frames 5 --script "$odd" 2> err.txt
    check "script '$odd' exits 2" test $? -eq 2
    check "script '$odd' one line" test "$(wc -l < err.txt)" -eq 1
    check "script '$odd' message" grep -qx "zumble: cannot read script '$odd'" err.txt
done
check "no file written after bad options" test ! -e error.txt -a ! -e hiscoa.sav
"$ZUMBLE" --help > help.txt
check "--help exits 0" test $? -eq 0
check "--help names the options" grep -q -- "--headless" help.txt
finish
