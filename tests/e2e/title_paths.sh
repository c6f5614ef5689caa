#!/usr/bin/env bash
# The ways through the title: Escape quits and keeps the best times; the start entry
# leads to mode select and its back button home again; the idle fly comes at 10 s.
set -u
. "$(dirname "$0")/common.bash"
zumble=$ZUMBLE
src=$SRC

# value FILE FRAME KEY: the KEY of the trace line of flip FRAME.
value() {
    awk -v f="frame=$2" -v k="$3" '$1 == f {
        for (i = 1; i <= NF; i++) { n = index($i, "="); if (substr($i, 1, n - 1) == k) print substr($i, n + 1) }
    }' "$1"
}

# The scenes a run went through, each run of equal values once.
scenes() {
    awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^scene=/) { s = substr($i, 7); if (s != last) printf "%s ", s; last = s } }' "$1"
}

# colours PNG: the distinct colours of a shot, as rrggbb words.
colours() {
    python3 - "$1" <<'P'
import struct, sys, zlib
d = open(sys.argv[1], 'rb').read()
w, h = struct.unpack('>II', d[16:24])
i, raw = 8, b''
while i < len(d):
    n = struct.unpack('>I', d[i:i + 4])[0]
    if d[i + 4:i + 8] == b'IDAT':
        raw += d[i + 8:i + 8 + n]
    i += 12 + n
px, stride, prev, seen = zlib.decompress(raw), w * 3, bytearray(w * 3), set()
for y in range(h):
    f, row = px[y * (stride + 1)], bytearray(px[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride):
        a = row[x - 3] if x >= 3 else 0
        b, c = prev[x], prev[x - 3] if x >= 3 else 0
        p = a + b - c
        pr = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
        row[x] = (row[x] + (0, a, b, (a + b) // 2, pr)[f]) & 255
    seen.update(bytes(row[x:x + 3]).hex() for x in range(0, stride, 3))
    prev = row
print(' '.join(sorted(seen)))
P
}

# paletted BMP INDEX: the rrggbb of one palette entry.
paletted() {
    python3 -c "import sys; d = open(sys.argv[1], 'rb').read(); o = 54 + 4 * int(sys.argv[2]); print(bytes([d[o + 2], d[o + 1], d[o]]).hex())" "$1" "$2"
}

run() {  # run NAME FRAMES: plays NAME.script, leaves NAME.trace
    "$zumble" --headless --script "$1.script" --trace "$1.trace" --frames "$2" >"$1.out" 2>&1
}

# 1. Escape on the title quits by itself, through the title's leave, and writes the file.
cat >escape.script <<'S'
5 key escape
S
rm -f hiscoa.sav
run escape 200
rc=$?
[ "$rc" -eq 0 ] || fail "escape: exit code $rc"
[ -f hiscoa.sav ] || fail "escape: hiscoa.sav not written"
[ -f hiscoa.sav ] && [ "$(wc -c <hiscoa.sav)" -eq 332 ] || fail "escape: hiscoa.sav is not 332 bytes"
lines=$(wc -l <escape.trace)
[ "$lines" -lt 200 ] || fail "escape: the game did not quit by itself ($lines frames)"
[ "$(scenes escape.trace)" = "2 3 " ] || fail "escape: scenes were '$(scenes escape.trace)'"
last=$(tail -n 1 escape.trace)
case "$last" in *"scene=3 next=13"*) ;; *) fail "escape: last frame was '$last'" ;; esac

# 2. Start entry -> mode select -> back button -> title, then the quit entry.
cat >paths.script <<'S'
0 move 300 300
3 click
# mode select from here; its back button
10 move 300 400
12 click
# the back button's leave flip
13 shot leave.png
# the title again; its quit entry
20 move 320 355
22 click
S
rm -f hiscoa.sav
run paths 200
rc=$?
[ "$rc" -eq 0 ] || fail "paths: exit code $rc"
[ "$(scenes paths.trace)" = "2 3 5 6 2 3 " ] || fail "paths: scenes were '$(scenes paths.trace)'"
grep -q "scene=3 next=4 " paths.trace || fail "paths: the start entry did not lead to mode select"
grep -q "scene=6 next=1 " paths.trace || fail "paths: the back button did not lead to the title"
tail -n 1 paths.trace | grep -q "scene=3 next=13 " || fail "paths: the quit entry did not quit"
[ -f hiscoa.sav ] || fail "paths: hiscoa.sav not written at quit"
# Mode select is left with the whole screen in index 156 of its own palette.
[ "$(value paths.trace 13 scene)" = "6" ] || fail "paths: flip 13 was not mode select's leave"
want=$(paletted "$src/bmp/gamemode.bmp" 156)
got=$(colours leave.png)
[ "$got" = "$want" ] || fail "paths: mode select left '$got' on the screen, not index 156 ($want)"

# 3. The idle fly: none after flip 600 is drawn (tick 9983 at the update before), one
#    added in that frame's update at tick 10000 and shown from flip 601.
: >idle.script
run idle 605
[ "$(value idle.trace 599 flies)" = "0" ] || fail "idle: a fly before 10000 ms"
[ "$(value idle.trace 600 flies)" = "0" ] || fail "idle: a fly at flip 600"
[ "$(value idle.trace 601 flies)" = "1" ] || fail "idle: no fly after 10000 ms (flip 601: $(value idle.trace 601 flies))"
[ -n "$(value idle.trace 601 fly)" ] || fail "idle: the trace shows no fly position"

[ "$FAILS" -eq 0 ] || exit 1
echo "title paths: all passed"
