#!/usr/bin/env bash
# The whole game in every mode: for each of the sixteen fly-count and speed settings a
# headless run goes title -> mode select (the arrows set the mode) -> a round played to
# its clear by the test player -> results board -> mode select, and every clear time must
# land in its own row of "hiscoa.sav". Then a run that quits from the title and one that
# closes the window right after a clear, each leaving a whole, correct file.
set -u
. "$(dirname "$0")/common.bash"

# entry N: the N-th time of the table (signed), from hiscoa.sav.
entry() { od -A n -t d4 -j $((12 + 4 * $1)) -N 4 hiscoa.sav | tr -d ' '; }
last() { grep "$1" "$2" | tail -1; }

# Writes the script that sets fly count c and speed s from the start-up values (1, 1),
# starts the round and, for 1000 flies, presses Enter so they come every frame.
make_script() {
    local c=$1 s=$2 f=10
    {
        echo "0 move 300 300"
        echo "3 click"
        click_at() { echo "$f move $1 $2"; echo "$((f + 1)) click"; f=$((f + 4)); }
        if [ "$c" -lt 1 ]; then click_at 120 80; fi
        for _ in $(seq 2 "$c"); do click_at 510 80; done
        if [ "$s" -lt 1 ]; then click_at 120 195; fi
        for _ in $(seq 2 "$s"); do click_at 510 195; done
        click_at 320 320
        if [ "$c" -eq 3 ]; then echo "$((f + 10)) key return"; fi
    } > mode.txt
}

budget=(3000 4500 8000 16000)
rm -f hiscoa.sav
for c in 0 1 2 3; do
    for s in 0 1 2 3; do
        make_script $c $s
        "$ZUMBLE" --headless --autoplay --script mode.txt --frames "${budget[$c]}" \
            --time $((1000000 + 7 * c + s)) --trace t.txt > out.txt 2>&1
        check "mode $c/$s exits 0" test $? -eq 0
        target=$(last ' scene=8 ' t.txt | field target)
        check "mode $c/$s plays for $(( (c == 0) ? 10 : (c == 1) ? 30 : (c == 2) ? 100 : 1000 )) flies" \
            test "$target" = "$(( (c == 0) ? 10 : (c == 1) ? 30 : (c == 2) ? 100 : 1000 ))"
        cleared=$(grep ' scene=8 ' t.txt | grep -m1 ' phase=1 ')
        check "mode $c/$s reaches its clear" test -n "$cleared"
        check "mode $c/$s swatted = target at the clear" test "$(echo "$cleared" | field swatted)" = "$target"
        board=$(grep ' scene=8 ' t.txt | grep -c ' phase=2 ')
        check "mode $c/$s shows the board for 61 frames ($board)" test "$board" -eq 61
        check "mode $c/$s returns to mode select" bash -c "grep ' phase=3 ' t.txt | tail -1 >/dev/null && tail -1 t.txt | grep -q ' scene=5 '"
        clock=$(echo "$cleared" | field clock)
        later=$(last ' phase=3 ' t.txt | field clock)
        check "mode $c/$s clock stopped at the clear ($clock)" test "$clock" = "$later" -a "$clock" -gt 0
        row=$((s + 4 * c))
        check "mode $c/$s time in row $row place 0" test "$(entry $((5 * row)))" = "$clock"
        check "mode $c/$s row $row place 1 still the default" test "$(entry $((5 * row + 1)))" = 3599999
        check "mode $c/$s: error.txt says Not Erorr" grep -q "Not Erorr" error.txt
    done
done
check "file is 332 bytes" test "$(stat -c %s hiscoa.sav)" = 332
check "file header" test "$(head -c 4 hiscoa.sav)" = ZUSV
filled=0
for i in $(seq 0 79); do [ "$(entry $i)" != 3599999 ] && filled=$((filled + 1)); done
check "exactly sixteen times kept ($filled)" test "$filled" -eq 16
cp hiscoa.sav all_modes.sav

# Quit from the title: the file is written again, unchanged.
printf '5 key escape\n' > quit.txt
"$ZUMBLE" --headless --script quit.txt --frames 600 > out.txt 2>&1
check "title quit exits 0" test $? -eq 0
check "title quit ends by itself" grep -q "Write End" error.txt
check "title quit keeps the table" cmp -s hiscoa.sav all_modes.sav

# Close the window as soon as a round of ten is cleared: the new record is kept.
make_script 0 0
"$ZUMBLE" --headless --autoplay --script mode.txt --frames 3000 --time 42 --trace t.txt > out.txt 2>&1
cleared=$(grep ' scene=8 ' t.txt | grep -m1 ' phase=1 ')
at=$(echo "$cleared" | field frame)
clock=$(echo "$cleared" | field clock)
cp all_modes.sav hiscoa.sav
{ cat mode.txt; echo "$((at + 1)) close"; } > close.txt
"$ZUMBLE" --headless --autoplay --script close.txt --frames 3000 --time 42 --trace t2.txt > out.txt 2>&1
check "close mid-game exits 0" test $? -eq 0
check "the close ended the run at once" test "$(tail -1 t2.txt | field frame)" -le $((at + 2))
first=$(entry 0)
second=$(entry 1)
old=$(od -A n -t d4 -j 12 -N 4 all_modes.sav | tr -d ' ')
if [ "$clock" -lt "$old" ]; then
    check "record kept on close" test "$first" = "$clock" -a "$second" = "$old"
else
    check "record kept on close" test "$second" = "$clock" -o "$first" = "$old"
fi
check "file still 332 bytes" test "$(stat -c %s hiscoa.sav)" = 332
finish
