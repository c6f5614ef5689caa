#!/usr/bin/env bash
# Which folder may include which (docs/development.md): fails, printing the offending
# #include lines, when
#   - a file under platform/ includes the game's floors or the entries (shell/, scenes/,
#     media/, objects/, replay/, main/); the one exception is replay/core/crc32.h, the
#     CRC-32 that the shot writer without a library shares with the replay file;
#   - two folders include each other: two folders of any depth (platform/stand_in and
#     platform/services), or two top folders (shell/ and replay/), where replay/core/,
#     the library below the game that the board links too, counts as a folder of its own.
# Usage: scripts/check-layers.sh [SOURCE_DIR]   (default: the tree this script is in)
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2

tops=$(ls -d */ | tr -d / | tr '\n' ' ')
# Every quoted include of a folder's file, as FILE:LINE:TEXT.
includes=$(grep -rnE --include='*.cpp' --include='*.h' \
    --exclude-dir='build*' --exclude-dir=.git --exclude-dir=node_modules \
    '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+/' . | sed 's|^\./||')

printf '%s\n' "$includes" | awk -v tops="$tops" '
function dir(path) { sub(/\/[^\/]*$/, "", path); return path }
function top(path) {
    if (path ~ /^replay\/core\//) return "replay/core"
    sub(/\/.*$/, "", path); return path
}
BEGIN {
    n = split(tops, list, " ")
    for (i = 1; i <= n; ++i) isTop[list[i]] = 1
    bad = 0
}
{
    # FILE:LINE:TEXT, the included path between the quotes
    file = $0; sub(/:.*$/, "", file)
    rest = substr($0, length(file) + 2)
    line = rest; sub(/:.*$/, "", line)
    text = substr(rest, length(line) + 2)
    included = text; sub(/^[^"]*"/, "", included); sub(/".*$/, "", included)
    first = included; sub(/\/.*$/, "", first)
    if (!(first in isTop)) next   # a path of the folder own (board/src) or a system header
    where = file ":" line ": " text
    if (file ~ /^platform\// && included ~ /^(shell|scenes|media|objects|replay|main)\// &&
        included != "replay/core/crc32.h") {
        print "platform/ includes a floor above it: " where
        bad = 1
    }
    for (level = 1; level <= 2; ++level) {
        from = level == 1 ? dir(file) : top(file)
        to = level == 1 ? dir(included) : top(included)
        if (from == to) continue
        key = from SUBSEP to
        if (!(key in seen)) { seen[key] = where; pairs[++count] = key }
    }
}
END {
    for (i = 1; i <= count; ++i) {
        split(pairs[i], ends, SUBSEP)
        back = ends[2] SUBSEP ends[1]
        if ((back in seen) && ends[1] < ends[2] && !((ends[1], ends[2]) in told)) {
            told[ends[1], ends[2]] = 1
            print ends[1] " and " ends[2] " include each other:"
            print "    " seen[pairs[i]]
            print "    " seen[back]
            bad = 1
        }
    }
    exit bad
}'
status=$?
if [ "$status" -eq 0 ]; then
    echo "check-layers: every folder includes only folders below it"
fi
exit "$status"
