# Shared helpers for the end-to-end tests: each runs the game in a fresh folder that
# links the repository's bmp/ and wave/, so no test writes into the repository.
ZUMBLE=$(realpath "$1")
SRC=$(realpath "$2")
WORK=$(mktemp -d /tmp/zumble-e2e-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
ln -s "$SRC/bmp" "$WORK/bmp"
ln -s "$SRC/wave" "$WORK/wave"
cd "$WORK"
FAILS=0
PASSES=0

check() {  # check "what" command...
    local what=$1
    shift
    if "$@"; then
        PASSES=$((PASSES + 1))
    else
        echo "FAIL: $what"
        FAILS=$((FAILS + 1))
    fi
}

# The value of key=... in a trace line.
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p; s/^$1=\([^ ]*\).*/\1/p" | head -1; }

finish() {
    echo "$PASSES passed, $FAILS failed"
    [ "$FAILS" -eq 0 ]
}
