#!/usr/bin/env bash
# Every C++ file of the game and the board laid out as .clang-format says (the game's at
# the top, the board's in board/): fails, naming each file and line that differs.
# Usage: scripts/check-format.sh [SOURCE_DIR]   (default: the tree this script is in)
# To lay a file out: clang-format -i FILE.
set -u
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
command -v clang-format > /dev/null || { echo "check-format: clang-format is not installed (scripts/install-deps.sh test)" >&2; exit 2; }
mapfile -d '' files < <(find . \( -name 'build*' -o -name .git -o -name node_modules \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' -o -name '*.c' \) -type f -print0)
[ "${#files[@]}" -gt 0 ] || { echo "check-format: no C++ files under $root" >&2; exit 2; }
printf '%s\0' "${files[@]}" | xargs -0 -n 50 clang-format --dry-run --Werror || exit 1
echo "check-format: ${#files[@]} files laid out as .clang-format says"
