#!/usr/bin/env bash
# The board's Debian package, as root: built with CPack beside the game's, checked by
# lintian, both installed with dpkg, the server started as its systemd unit says (the
# unit's ExecStart, User, Group, WorkingDirectory and EnvironmentFile, read from the
# installed file: no systemd runs here), its pages read and a round a person could play
# submitted, then both purged, leaving no user, file or unit behind.
source "$(dirname "$0")/board_common.bash"
source "$TESTS/board_replays.bash"

[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing packages needs root"; exit 77; }
command -v dpkg > /dev/null || { echo "SKIP: no dpkg on this machine"; exit 77; }
for tool in cpack dpkg-deb dpkg-shlibdeps lintian man setpriv sqlite3; do
    command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done
[ "$GAME_OLDER" = 0 ] || { echo "SKIP: the game's --verify does not say keys= yet"; exit 77; }
[ "$REAL_REPLAYS" = 1 ] || { echo "FAIL: $GAME has no --verify"; exit 1; }
game_build=$(dirname "$GAME")
board_build=$(dirname "$BOARD")
if grep -q '^ZUMBLE_SANITIZE:BOOL=ON' "$game_build/CMakeCache.txt" 2>/dev/null; then
    echo "SKIP: the packages are made from the normal build, not a sanitizer build"
    exit 77
fi
site=$(sed -n 's/^ZUMBLE_SITE:PATH=//p' "$board_build/CMakeCache.txt")
[ -f "$site/index.html" ] || { echo "SKIP: no page in $site (make web builds it)"; exit 77; }

# check_log LOG WHAT COMMAND...: a check that shows LOG when it fails.
check_log() {
    local log=$1 before=$FAILS
    shift
    check "$@"
    [ "$FAILS" -eq "$before" ] || cat "$log"
}
# dpkg_retry LOG ARGS...: dpkg, waiting (10 minutes at most) for another dpkg or apt to
# let go of its lock.
dpkg_retry() {
    local log=$1
    shift
    for _ in $(seq 120); do
        dpkg "$@" > "$log" 2>&1 && return 0
        grep -qi 'lock' "$log" || return 1
        sleep 5
    done
    return 1
}

# One install test at a time on the machine (the game's package test installs zumble
# too), and none where the machine has its own zumble packages.
exec 9> /tmp/zumble-package-test.lock
flock -w 300 9 || { echo "FAIL: another package test held the lock for 5 minutes"; exit 1; }
# dpkg's state of a package: empty, or ending in not-installed, when it has none.
package_status() { dpkg-query -W -f='${Status}' "$1" 2> /dev/null; }
for p in zumble zumble-board; do
    case $(package_status "$p") in
        "" | *not-installed) ;;
        *) echo "SKIP: the machine has a $p package of its own ($(package_status "$p"))"; exit 77 ;;
    esac
done

SERVER=""
INSTALLED=0
package_cleanup() {
    if [ -n "$SERVER" ]; then kill -9 "$SERVER" 2> /dev/null; wait "$SERVER" 2> /dev/null; fi
    [ "$INSTALLED" = 1 ] && dpkg_retry "$WORK/cleanup.log" --purge zumble-board zumble
    cleanup
}
trap package_cleanup EXIT

# The round to submit, played while the packages are made.
record_round "$WORK/round.zrp" 1700004000 10 2 > "$WORK/round.time" &
recorder=$!

version=$("$GAME" --version | awk '{ print $2 }')
game_deb=$WORK/dist/zumble_${version}_amd64.deb
board_deb=$WORK/dist/zumble-board_${version}_amd64.deb
cpack --config "$game_build/CPackConfig.cmake" -B "$WORK/cpack-game" \
    -D CPACK_ZUMBLE_DIST_DIR="$WORK/dist" > "$WORK/cpack-game.log" 2>&1
check_log "$WORK/cpack-game.log" "cpack builds the game's package" test -f "$game_deb"
cpack --config "$board_build/CPackConfig.cmake" -B "$WORK/cpack-board" \
    -D CPACK_ZUMBLE_DIST_DIR="$WORK/dist" > "$WORK/cpack-board.log" 2>&1
check_log "$WORK/cpack-board.log" "cpack builds the board's package" test -f "$board_deb"
[ -f "$game_deb" ] && [ -f "$board_deb" ] || { finish; exit 1; }
wait "$recorder" || exit 1
round_time=$(cat "$WORK/round.time")

dpkg-deb --field "$board_deb" > "$WORK/control.txt"
check "the board depends on the game of its version" \
    grep -q "^Depends:.*zumble (= $version)" "$WORK/control.txt"
lintian --fail-on error,warning --tag-display-limit 0 "$board_deb" > "$WORK/lintian.txt" 2>&1
status=$?
check_log "$WORK/lintian.txt" "lintian reports neither errors nor warnings" test $status -eq 0

dpkg_retry "$WORK/dpkg-i.log" -i "$game_deb" "$board_deb"
status=$?
INSTALLED=1
check_log "$WORK/dpkg-i.log" "dpkg -i installs both packages" test $status -eq 0
[ $status -eq 0 ] || { finish; exit 1; }
IFS=: read -r _ _ uid _ _ home shell <<< "$(getent passwd zumble-board)"
check "a system user zumble-board (uid $uid)" test -n "$uid" -a "${uid:-1000}" -lt 1000
check "it has no login ($shell)" test "$shell" = /usr/sbin/nologin
check "its home is the state folder ($home)" test "$home" = /var/lib/zumble-board
check "/var/lib/zumble-board is its own, 750" \
    test "$(stat -c '%U:%G %a' /var/lib/zumble-board 2>&1)" = "zumble-board:zumble-board 750"
check "/etc/default/zumble-board is a conffile" \
    bash -c "dpkg-query -W -f='\${Conffiles}' zumble-board | grep -q '^ /etc/default/zumble-board '"
check "the unit is enabled" test -L /etc/systemd/system/multi-user.target.wants/zumble-board.service
check "the manual page reads without warnings" \
    bash -c "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l /usr/share/man/man1/zumble-board.1.gz 2>&1 >/dev/null | (! grep .)"

# The service as systemd would start it, from what its installed unit says.
unit=/lib/systemd/system/zumble-board.service
unit_value() { sed -n "s/^$1=//p" "$unit" | tail -n 1; }
user=$(unit_value User) group=$(unit_value Group) dir=$(unit_value WorkingDirectory)
env_file=$(unit_value EnvironmentFile)
env_file=${env_file#-}
exec_start=$(awk '/^ExecStart=/ { l = substr($0, 11); while (l ~ /\\$/ && (getline n) > 0) { sub(/\\$/, "", l); l = l " " n } print l }' "$unit")
check "the unit names its user, folder, options file and command" \
    test -n "$user" -a -n "$group" -a -d "$dir" -a -f "$env_file" -a -n "$exec_start"
check "ExecStart has no quoting this test would read wrong" \
    test -z "$(tr -d -c "\"'\\\\" <<< "$exec_start")"
# An operator's change to the options file: a free port instead of 8080.
# Its runs go on the board at once here: no moderator reviews a record in this test.
sed -i 's/--port [0-9]*/--port 0 --review-top 0/' "$env_file"
check "the options file gives the port" grep -q -- '--port 0' "$env_file"
# The file's assignments as systemd reads them, then ExecStart's words with $NAME split
# at spaces and ${NAME} kept whole.
declare -A env_vars
env_pairs=()
while IFS= read -r line; do
    [[ $line =~ ^[[:space:]]*([A-Za-z_][A-Za-z0-9_]*)=(.*)$ ]] || continue
    name=${BASH_REMATCH[1]} value=${BASH_REMATCH[2]}
    [[ $value =~ ^\"(.*)\"$ || $value =~ ^\'(.*)\'$ ]] && value=${BASH_REMATCH[1]}
    env_vars[$name]=$value
    env_pairs+=("$name=$value")
done < "$env_file"
command_line=()
read -r -a words <<< "$exec_start"
for word in "${words[@]}"; do
    if [[ $word =~ ^\$\{([A-Za-z_][A-Za-z0-9_]*)\}$ ]]; then
        command_line+=("${env_vars[${BASH_REMATCH[1]}]-}")
    elif [[ $word =~ ^\$([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
        read -r -a parts <<< "${env_vars[${BASH_REMATCH[1]}]-}"
        command_line+=("${parts[@]}")
    else
        command_line+=("$word")
    fi
done
no_new_privs=()
[ "$(unit_value NoNewPrivileges)" = yes ] && no_new_privs=(--no-new-privs)
echo "starting as $user:$group in $dir: ${command_line[*]}"
(cd "$dir" && exec setpriv --reuid="$user" --regid="$group" --init-groups "${no_new_privs[@]}" \
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$home" USER="$user" LOGNAME="$user" \
    SHELL="$shell" "${env_pairs[@]}" "${command_line[@]}") \
    > "$WORK/service.out" 2> "$WORK/service.err" &
SERVER=$!
url=""
for _ in $(seq 300); do
    url=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$WORK/service.out" 2> /dev/null | head -n 1)
    [ -n "$url" ] && break
    kill -0 "$SERVER" 2> /dev/null || break
    sleep 0.1
done
check_log "$WORK/service.err" "the service serves on 127.0.0.1 ($(cat "$WORK/service.out"))" test -n "$url"
if [ -n "$url" ]; then
    check "it runs as $user" test "$(ps -o user= -p "$SERVER")" = "$user"
    check "its database is in /var/lib/zumble-board, its user's" \
        test "$(stat -c %U /var/lib/zumble-board/board.db 2>&1)" = "$user"
    req GET "$url/"
    check "/ is the page of the boards (got $STATUS)" \
        bash -c '[ "$1" = 200 ] && grep -q "<title>Zumble best times</title>" <<< "$2"' _ "$STATUS" "$BODY"
    req GET "$url/api/boards"
    check "/api/boards: sixteen boards (got $STATUS)" \
        test "$STATUS" = 200 -a "$(grep -o '"flies"' <<< "$BODY" | wc -l)" = 16
    curl -s -o "$WORK/play.html" --max-time 60 "$url/play/"
    check "/play/ is the packaged page" cmp -s "$WORK/play.html" /usr/share/zumble-board/site/index.html
    submit "$url" Packaged "$WORK/round.zrp"
    check "the round is taken, 201 (got $STATUS: $BODY)" test "$STATUS" = 201
    check "with the time the installed game verified ($round_time ms)" test "$(json_field time_ms)" = "$round_time"
    req GET "$url/api/boards/10/2"
    check "the board shows it" grep -q "\"name\":\"Packaged\",\"flies\":10,\"speed\":2,\"speed_word\":\"NORMAL\",\"time_ms\":$round_time" <<< "$BODY"
    check "the run is in the service's database" \
        test "$(sqlite3 /var/lib/zumble-board/board.db 'SELECT count(*) FROM runs')" = 1
fi
# It stops within 5 s of SIGTERM; 10 s here, then it is killed.
kill -TERM "$SERVER" 2> /dev/null
for _ in $(seq 100); do kill -0 "$SERVER" 2> /dev/null || break; sleep 0.1; done
kill -0 "$SERVER" 2> /dev/null && kill -9 "$SERVER"
wait "$SERVER"
status=$?
SERVER=""
check_log "$WORK/service.err" "SIGTERM stops it, exit 0 (got $status)" test "$status" -eq 0

dpkg-deb --contents "$game_deb" > "$WORK/files.txt"
dpkg-deb --contents "$board_deb" >> "$WORK/files.txt"
dpkg_retry "$WORK/dpkg-purge.log" --purge zumble-board zumble
status=$?
check_log "$WORK/dpkg-purge.log" "dpkg --purge removes both" test $status -eq 0
[ $status -eq 0 ] && INSTALLED=0
awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' "$WORK/files.txt" |
    while read -r f; do [ -e "$f" ] && echo "$f"; done > "$WORK/left.txt"
check_log "$WORK/left.txt" "no file of either package is left" test ! -s "$WORK/left.txt"
check "no user zumble-board" bash -c '! getent passwd zumble-board'
check "no group zumble-board" bash -c '! getent group zumble-board'
for f in /var/lib/zumble-board /etc/default/zumble-board /usr/share/zumble-board \
         /etc/systemd/system/zumble-board.service \
         /etc/systemd/system/multi-user.target.wants/zumble-board.service \
         /var/lib/systemd/deb-systemd-helper-enabled/zumble-board.service.dsh-also \
         /var/lib/systemd/deb-systemd-helper-masked/zumble-board.service; do
    check "$f is gone" test ! -e "$f" -a ! -L "$f"
done
for p in zumble-board zumble; do
    check "dpkg forgot $p ($(package_status "$p"))" \
        bash -c 'case $1 in "" | *not-installed) ;; *) exit 1 ;; esac' _ "$(package_status "$p")"
done
finish
