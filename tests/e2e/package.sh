#!/usr/bin/env bash
# The Debian package: built with CPack from this build, its contents and control fields,
# the validators (desktop entry, AppStream, lintian), the unpacked tree run from
# elsewhere with the player's files in the player's folder, and, as root, a real
# install, a run of the installed game and a removal that leaves nothing behind.
set -u
. "$(dirname "$0")/common.bash"
build=$(dirname "$ZUMBLE")

if grep -q '^ZUMBLE_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    echo "SKIP: the package is made from the normal build, not a sanitizer build"
    exit 77
fi
for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli; do
    command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

# check LOG WHAT COMMAND...: a check that shows LOG when it fails.
check_log() {
    local log=$1 before=$FAILS
    shift
    check "$@"
    [ "$FAILS" -eq "$before" ] || cat "$log"
}

version=$("$ZUMBLE" --version | awk '{ print $2 }')
deb=dist/zumble_${version}_amd64.deb
cpack --config "$build/CPackConfig.cmake" -B "$WORK/cpack" -D CPACK_ZUMBLE_DIST_DIR="$WORK/dist" > cpack.log 2>&1
check "cpack builds the package" test $? -eq 0
if [ ! -f "$deb" ]; then
    fail "no $deb (version '$version')"
    cat cpack.log
    finish
    exit 1
fi

# Every file the package must hold, and nothing of the build besides.
expected="usr/games/zumble
usr/share/applications/zumble.desktop
usr/share/doc/zumble/changelog.gz
usr/share/doc/zumble/copyright
usr/share/man/man6/zumble.6.gz
usr/share/metainfo/zumble.metainfo.xml"
for size in 16 32 48 64 128 256; do
    expected+=$'\n'"usr/share/icons/hicolor/${size}x${size}/apps/zumble.png"
done
for f in "$SRC"/bmp/* "$SRC"/wave/*; do
    expected+=$'\n'"usr/share/games/zumble/${f#"$SRC"/}"
done
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort > contents.txt
echo "$expected" | sort > expected.txt
diff expected.txt contents.txt > contents.diff
check_log contents.diff "the package holds exactly the game's files" cmp -s contents.txt expected.txt
check "the game is executable, the rest is not" \
    test "$(dpkg-deb --contents "$deb" | awk '$1 ~ /x$/ && $1 !~ /^d/' | wc -l)" -eq 1
dpkg-deb --field "$deb" > control.txt
check "Package: zumble" grep -qx 'Package: zumble' control.txt
check "Version is the game's own" grep -qx "Version: $version" control.txt
check "Section: games" grep -qx 'Section: games' control.txt
check "Architecture: amd64" grep -qx 'Architecture: amd64' control.txt
check "a Maintainer" grep -q '^Maintainer: .*<.*@.*>' control.txt
check "a description with a long part" test "$(sed -n '/^Description:/,/^[A-Z]/p' control.txt | grep -c '^ ')" -ge 3
# dpkg-shlibdeps found the libraries the game is linked to.
for lib in libc6 libsdl2-2.0-0 libpng16-16 libstdc++6; do
    check "depends on $lib" grep -q "^Depends:.*\b$lib (>=" control.txt
done

mkdir root
dpkg -x "$deb" root
check "desktop-file-validate" desktop-file-validate root/usr/share/applications/zumble.desktop
check "appstreamcli validate" appstreamcli validate --no-net root/usr/share/metainfo/zumble.metainfo.xml
check "the AppStream release is the game's version" \
    grep -q "<release version=\"$version\"" root/usr/share/metainfo/zumble.metainfo.xml
check "the manual page reads without warnings" \
    bash -c "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l root/usr/share/man/man6/zumble.6.gz 2>&1 >/dev/null | (! grep .)"
check "the manual page says where the files go" \
    bash -c "zcat root/usr/share/man/man6/zumble.6.gz | grep -q 'local/share/zumble'"
check "the game is stripped" bash -c "! readelf -S root/usr/games/zumble | grep -q '\.debug_info'"
lintian --no-tag-display-limit "$deb" > lintian.txt 2>&1
check "lintian reports no errors" bash -c "! grep -q '^E:' lintian.txt"
grep -E '^(E|W):' lintian.txt

# round.script: title -> mode select, ten flies -> a round played by --autoplay -> the
# board -> mode select -> title -> quit (the same round as play_round.sh).
write_round_script round.script
# The time of the round in a trace: from the flip before its first frame to its clear.
clear_time() {
    local start clear
    start=$(grep -B1 -m1 ' scene=8 ' "$1" | head -n 1 | field tick)
    clear=$(grep ' scene=8 .* phase=0 ' "$1" | tail -n 1 | field tick)
    echo $((clear - start))
}
# entry FILE INDEX: the INDEX-th time of the best-times table, unsigned.
# check_saves WHERE TRACE: the files a whole round leaves in the player's folder.
check_saves() {
    local dir=$1 trace=$2 time
    time=$(clear_time "$trace")
    check "$dir/hiscoa.sav is 332 bytes" test "$(wc -c < "$dir/hiscoa.sav" 2>/dev/null)" = 332
    check "the round's time ($time ms) heads the mode's row" test "$(entry "$dir/hiscoa.sav" 5)" = "$time"
    check "$dir/error.txt says Not Erorr" grep -q "Not Erorr" "$dir/error.txt"
    check "$dir is private to the player" test "$(stat -c %a "$dir")" = 700
}

# The unpacked tree, run from another folder with a scratch home: nothing is written
# into the tree, nor into the folder the game was started from.
find root -printf '%p %s %T@ %m\n' | sort > tree-before.txt
mkdir home elsewhere
(cd elsewhere && env -u XDG_DATA_HOME HOME="$WORK/home" "$WORK/root/usr/games/zumble" --headless --autoplay \
    --script ../round.script --trace ../unpacked.trace --frames 5000 > ../unpacked.out 2>&1)
check_log unpacked.out "the unpacked game exits 0" test $? -eq 0
check "the unpacked game played the round" grep -q ' scene=8 .* phase=2 ' unpacked.trace
check_saves home/.local/share/zumble unpacked.trace
check "~/.local is private too" test "$(stat -c %a home/.local)" = 700
find root -printf '%p %s %T@ %m\n' | sort > tree-after.txt
check "nothing written into the unpacked tree" cmp -s tree-before.txt tree-after.txt
check "nothing written where the game was started" test -z "$(ls -A elsewhere)"

# $XDG_DATA_HOME wins over the home folder; a relative one is ignored.
(cd elsewhere && XDG_DATA_HOME="$WORK/xdg" HOME="$WORK/home2" "$WORK/root/usr/games/zumble" --headless --frames 2)
check "XDG_DATA_HOME holds error.txt" grep -q "Not Erorr" xdg/zumble/error.txt
check "XDG_DATA_HOME: nothing in the home folder" test ! -e home2
mkdir home3
(cd elsewhere && XDG_DATA_HOME=relative HOME="$WORK/home3" "$WORK/root/usr/games/zumble" --headless --frames 2)
check "a relative XDG_DATA_HOME is ignored" test -f home3/.local/share/zumble/error.txt
check "nothing written where the game was started (XDG runs)" test -z "$(ls -A elsewhere)"

# A player's folder that cannot be made: one line on stderr, a normal end, nothing saved.
touch plainfile
(cd elsewhere && env -u XDG_DATA_HOME HOME="$WORK/plainfile" "$WORK/root/usr/games/zumble" --headless --autoplay \
    --script ../round.script --frames 5000 > ../nosave.out 2> ../nosave.err)
check "no player's folder: exit 0" test $? -eq 0
check "no player's folder: one line on stderr" test "$(wc -l < nosave.err)" -eq 1
check "no player's folder: the line names the folder" grep -q 'plainfile/.local/share/zumble' nosave.err
(cd elsewhere && env -u XDG_DATA_HOME HOME="$WORK/nohome" "$WORK/root/usr/games/zumble" --headless --frames 2 2> ../nohome.err)
check "a home folder that does not exist is not made" test ! -e nohome
check "a home folder that does not exist is named" grep -q 'nohome.*No such file' nohome.err
check "no player's folder: nothing written anywhere" \
    bash -c "test -z \"\$(ls -A elsewhere)\" && cmp -s tree-before.txt <(find root -printf '%p %s %T@ %m\n' | sort)"

# A real install, as root, where no zumble package is installed already. One such test
# at a time on the machine (other checkouts may run theirs): they share the package name.
if [ "$(id -u)" -eq 0 ]; then
    exec 9> /tmp/zumble-package-test.lock
    flock -w 600 9 || fail "another package test held the lock for 10 minutes"
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "note: not root, the dpkg -i / dpkg -r part is left out"
elif dpkg-query -W -f='${Status}' zumble 2> /dev/null | grep -q 'installed'; then
    echo "note: a zumble package is installed on this machine; the dpkg -i / dpkg -r part is left out"
else
    # Another dpkg or apt may hold the lock for a while: wait for it.
    installed=0
    for _ in $(seq 120); do
        if dpkg -i "$deb" > dpkg-i.log 2>&1; then installed=1; break; fi
        grep -qi 'lock' dpkg-i.log || break
        sleep 5
    done
    check_log dpkg-i.log "dpkg -i installs the package" test $installed -eq 1
    trap 'dpkg -r zumble > /dev/null 2>&1; rm -rf "$WORK"' EXIT
    mkdir roothome
    (cd /tmp && env -u XDG_DATA_HOME HOME="$WORK/roothome" /usr/games/zumble --headless --autoplay \
        --script "$WORK/round.script" --trace "$WORK/installed.trace" --frames 5000 > "$WORK/installed.out" 2>&1)
    check_log installed.out "the installed game exits 0" test $? -eq 0
    check_saves roothome/.local/share/zumble installed.trace
    check "nothing written into /usr/share/games/zumble" \
        test "$(find /usr/share/games/zumble -type f | wc -l)" -eq "$(grep -c '^usr/share/games/' expected.txt)"
    removed=0
    for _ in $(seq 120); do
        if dpkg -r zumble > dpkg-r.log 2>&1; then removed=1; break; fi
        grep -qi 'lock' dpkg-r.log || break
        sleep 5
    done
    check_log dpkg-r.log "dpkg -r removes the package" test $removed -eq 1
    trap 'rm -rf "$WORK"' EXIT
    while read -r f; do [ -e "/$f" ] && echo "/$f"; done < expected.txt > left.txt
    check_log left.txt "no file of the package is left" test ! -s left.txt
    check "no folder of the game is left" test ! -e /usr/share/games/zumble -a ! -e /usr/share/doc/zumble
    check "dpkg forgot the package" bash -c "! dpkg-query -W -f='\${Status}' zumble 2>/dev/null | grep -q installed"
fi
finish
