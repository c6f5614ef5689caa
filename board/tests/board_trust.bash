# The board's trust rules end to end, on one server started for them with the stand-in
# verifier (whose replays say plainly what they are: a cursor off the screen, several
# presses in a frame, a seed from the future, autoplay, the signs of machine play):
# one run a round, names that belong to players, held runs, bans, the operator's
# commands with their audit rows, pages, paging and the feed. Then, when the game's
# --verify says what the board needs (round=, autoplay=), the same refusals with rounds
# the game recorded.  run_trust_suite KIND DB   (KIND sqlite or pg, DB a fresh database)

FAKE=$TESTS/fake_zumble.sh

# post URL NAME FILE [curl options]: POST /api/runs; sets STATUS and BODY.
post() {
    local url=$1 name=$2 file=$3
    shift 3
    req POST "$url/api/runs" --url-query "name=$name" --data-binary "@$file" \
        -H 'Content-Type: application/octet-stream' "$@"
}
has_code() { grep -q "\"error\":\"$1\"" <<< "$BODY"; }
is() { [ "$STATUS" = "$1" ] && { [ -z "${2:-}" ] || has_code "$2"; }; }  # is STATUS [CODE]
body_has() { grep -q -- "$1" <<< "$BODY"; }
hidden_everywhere() { ! shows_anywhere "$@"; }
# soon COMMAND...: true once COMMAND is, within 5 s. An operator's change reaches the
# servers' kept pages when their watch next reads the board's generation (250 ms).
soon() {
    local end=$(($(date +%s%N) / 1000000 + 5000))
    until "$@"; do
        [ $(($(date +%s%N) / 1000000)) -lt $end ] || return 1
        sleep 0.1
    done
}
admin() {  # admin ARGS...: sets ADMIN_RC; the output in $WORK/admin.out
    "$BOARD" admin --db "$TDB" "$@" > "$WORK/admin.out" 2>&1
    ADMIN_RC=$?
}
# Whether run ID shows anywhere a player looks: the front page, the JSON boards, its
# mode's board, its replay, the feed, its player's page.
shows_anywhere() {
    local url=$1 id=$2 name=$3 flies=$4 speed=$5 where=""
    req GET "$url/"; grep -q "api/runs/$id/replay" <<< "$BODY" && where+=" page"
    req GET "$url/api/boards"; grep -q "\"id\":$id," <<< "$BODY" && where+=" boards"
    req GET "$url/api/boards/$flies/$speed?limit=200"; grep -q "\"id\":$id," <<< "$BODY" && where+=" board"
    req GET "$url/boards/$flies/$speed?limit=200"; grep -q "api/runs/$id/replay" <<< "$BODY" && where+=" mode-page"
    req GET "$url/api/runs/$id/replay"; [ "$STATUS" = 200 ] && where+=" replay"
    req GET "$url/feed.atom"; grep -q "api/runs/$id/replay" <<< "$BODY" && where+=" feed"
    req GET "$url/api/players/$(python3 -c 'import sys,urllib.parse; print(urllib.parse.quote(sys.argv[1]))' "$name")"
    grep -q "\"id\":$id," <<< "$BODY" && where+=" player"
    SHOWN_IN=$where
    [ -n "$where" ]
}
url_has() { req GET "$1"; body_has "$2"; }  # url_has URL PATTERN
url_status() { req GET "$1"; [ "$STATUS" = "$2" ]; }  # url_status URL STATUS
feed_without() { req GET "$1/feed.atom"; ! body_has "api/runs/$2/replay"; }
json_key() { sed -n 's/.*"key":"\([^"]*\)".*/\1/p' <<< "$BODY"; }
json_id() { sed -n 's/^{"id":\([0-9]*\).*/\1/p' <<< "$BODY"; }

# fake NAME FLIES SPEED INPUTS [KEY=VALUE...]: a stand-in replay in $WORK/t-NAME.rpl
fake() {
    local name=$1
    shift
    "$FAKE_REPLAY" "$1" "$2" "$3" 1 "${@:4}" > "$WORK/t-$name.rpl"
}

# The feed, valid against the Atom schema (jing), with the rules the schema leaves to
# Schematron: an author for the feed, an alternate link for each entry.
feed_valid() {
    req GET "$1/feed.atom" "${@:2}"
    printf '%s' "$BODY" > "$WORK/feed.xml"
    jing -c "$TESTS/atom.rnc" "$WORK/feed.xml" 2>&1 | grep -v '^\[warning\]' > "$WORK/jing.out"
    local rc=${PIPESTATUS[0]}
    [ "$rc" = 0 ] || { cat "$WORK/jing.out"; return 1; }
    grep -q '<feed xmlns="http://www.w3.org/2005/Atom">' "$WORK/feed.xml" &&
        grep -q '^<author><name>' "$WORK/feed.xml" &&
        [ "$(grep -c '<entry>' "$WORK/feed.xml")" = "$(grep -c '<link rel="alternate" type="text/html" href="[^"]*/runs/[0-9]*"' "$WORK/feed.xml")" ]
}

# feed_links_at BASE: every link of the last feed read is absolute, on BASE (a reader
# does not know the feed's own address); and there are some.
feed_links_at() {
    local links
    links=$(grep -o -e 'href="[^"]*"' -e '<uri>[^<]*</uri>' "$WORK/feed.xml" | sed -e 's/^href="//' -e 's/"$//' -e 's/<\/*uri>//g')
    [ -n "$links" ] && awk -v base="$1/" 'index($0, base) != 1 { print "not on " base ": " $0; bad = 1 } END { exit bad }' <<< "$links"
}

# within SECONDS COMMAND...: true once COMMAND is, polled until SECONDS have passed.
within() {
    local end=$(($(date +%s) + $1))
    shift
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || return 1
        sleep 0.2
    done
}
# html_valid FILE: valid HTML5 by the Nu checker (tests/web's npm ci installs it).
html_valid() {
    local out
    out=$(java -jar "$SRC/tests/web/node_modules/vnu-jar/build/dist/vnu.jar" --errors-only "$1" 2>&1) ||
        { head -5 <<< "$out"; return 1; }
}
served_as() { [ "$(curl -s -o /dev/null -w '%{http_code} %{content_type}' "$1")" = "200 $2" ]; }
# og TAG: the content of the preview tag in the last page read.
og() { sed -n "s/.*<meta property=\"$1\" content=\"\([^\"]*\)\".*/\1/p" <<< "$BODY"; }

# A shown run's page: valid, its preview tags absolute on the board's address, its clip
# and still made by the board (waited for while it says it is at work) and served with
# their types. Then a board whose clips may take 50 ms: the job is dropped and logged,
# and the page says so.
run_page_checks() {
    local kind=$1 U=$2 id=$3 replay=$4
    [ -f "$SRC/tests/web/node_modules/vnu-jar/build/dist/vnu.jar" ] ||
        { fail "run page: no Nu checker (cd tests/web && npm ci)"; return; }
    # On a machine kept busy the clip may take minutes: the test waits while the board
    # says it is queued or being made.
    check "run page: the clip is made" clip_made "$U" "$id"
    check "run page: the clip is served" served_as "$U/runs/$id/clip.webm" video/webm
    check "run page: the still, a PNG" served_as "$U/runs/$id/still.png" image/png
    check "run page: the clip is WebM" bash -c '[ "$(curl -s "$1" | head -c 4 | od -An -tx1 | tr -d " ")" = 1a45dfa3 ]' _ "$U/runs/$id/clip.webm"
    # Its parts, as a video element asks for them: each the very bytes of the whole.
    curl -s -o "$WORK/clip-$kind.webm" "$U/runs/$id/clip.webm"
    local size etag
    size=$(stat -c %s "$WORK/clip-$kind.webm")
    etag=$(curl -sI "$U/runs/$id/clip.webm" | sed -n 's/^[Ee][Tt]ag: \(.*\)\r$/\1/p')
    part() {  # part RANGE FIRST LENGTH [IF-RANGE]: a 206 of those bytes, saying which
        local got
        got=$(curl -s -D "$WORK/part.head" -o "$WORK/part.body" -H "Range: $1" ${4:+-H "If-Range: $4"} \
            -w '%{http_code}' "$U/runs/$id/clip.webm")
        [ "$got" = 206 ] && grep -qi "^content-range: bytes $2-$(($2 + $3 - 1))/$size"$'\r' "$WORK/part.head" &&
            cmp -s "$WORK/part.body" <(tail -c +$(($2 + 1)) "$WORK/clip-$kind.webm" | head -c "$3")
    }
    check "clip ranges: the first 100 bytes" part bytes=0-99 0 100
    check "clip ranges: from byte 1000 to the end" part bytes=1000- 1000 $((size - 1000))
    check "clip ranges: the last 10 bytes" part bytes=-10 $((size - 10)) 10
    check "clip ranges: a last byte past the end is the end" part "bytes=$((size - 5))-99999999999" $((size - 5)) 5
    check "clip ranges: If-Range with its own ETag ($etag)" part bytes=0-99 0 100 "$etag"
    check "clip ranges: If-Range with another ETag gets the whole clip" \
        [ "$(curl -s -o /dev/null -w '%{http_code} %{size_download}' -H 'Range: bytes=0-99' -H 'If-Range: "1-2"' "$U/runs/$id/clip.webm")" = "200 $size" ]
    check "clip ranges: two ranges get the whole clip" \
        [ "$(curl -s -o /dev/null -w '%{http_code} %{size_download}' -H 'Range: bytes=0-1,5-6' "$U/runs/$id/clip.webm")" = "200 $size" ]
    check "clip ranges: past the end, 416 and the clip's size" \
        bash -c '[ "$(curl -s -D - -o /dev/null -H "Range: bytes=$2-" "$1" | tr -d "\r" | grep -ci "^HTTP/1.1 416\|^content-range: bytes \*/$2$")" = 2 ]' _ "$U/runs/$id/clip.webm" "$size"
    req GET "$U/runs/$id"
    printf '%s' "$BODY" > "$WORK/run-$kind.html"
    check "run page: 200 ($STATUS)" [ "$STATUS" = 200 ]
    check "run page: valid HTML5" html_valid "$WORK/run-$kind.html"
    check "run page: og:title names the player and the mode ($(og og:title))" grep -q '^Rhea: .*, 10 flies, NORMAL$' <<< "$(og og:title)"
    check "run page: og:url absolute ($(og og:url))" [ "$(og og:url)" = "$U/runs/$id" ]
    check "run page: og:image, the still ($(og og:image))" [ "$(og og:image)" = "$U/runs/$id/still.png" ]
    check "run page: og:video, the clip ($(og og:video))" [ "$(og og:video)" = "$U/runs/$id/clip.webm" ]
    check "run page: the clip on the page" body_has "<video controls [^>]*src=\"/runs/$id/clip.webm\""
    check "run page: watch, race, download" bash -c 'grep -q "/play/?replay=/api/runs/$2/replay\">Watch" <<< "$1" && grep -q "/play/?race=" <<< "$1" && grep -q "/api/runs/$2/replay\" download>Download replay" <<< "$1"' _ "$BODY" "$id"
    check "run page: linked from the boards" url_has "$U/" "<a href=\"/runs/$id\">"

    local db=$WORK/clipcut-$kind.db
    rm -rf "$db" "$db-clips"
    start_board "clipcut$kind" "$db" --clip-timeout 50
    local cut_var=URL_clipcut$kind cut
    local C=${!cut_var}
    post "$C" Rhea "$replay"
    cut=$(json_id)
    check "clip over its limits: the run is stored ($STATUS)" is 201
    check "clip over its limits: the board says none" clip_settles "$C" "$cut" none
    check "clip over its limits: dropped and logged" within 60 grep -q "clip of run $cut dropped: over its time limit" "$WORK/clipcut$kind.err"
    check "clip over its limits: no clip" url_status "$C/runs/$cut/clip.webm" 404
    req GET "$C/runs/$cut"
    printf '%s' "$BODY" > "$WORK/run-cut-$kind.html"
    check "clip over its limits: the run page works ($STATUS)" [ "$STATUS" = 200 ]
    check "clip over its limits: ... and says there is no clip" body_has 'No clip is available'
    check "clip over its limits: ... valid HTML5" html_valid "$WORK/run-cut-$kind.html"
    check "clip over its limits: ... no og:video" [ -z "$(og og:video)" ]
    local pid_var=PID_clipcut$kind
    kill "${!pid_var}"
    wait "${!pid_var}" 2> /dev/null
}

# fresh_db KIND DB NAME: the address of a new, empty database beside DB.
fresh_db() {
    if [ "$1" = sqlite ]; then
        echo "$(dirname "$2")/$3.db"
    else
        psql -qtAX "$2" -c "CREATE DATABASE $3" > /dev/null && echo "${2%/*}/$3"
    fi
}
# clip_state URL ID: what the board says it is doing about the run's clip.
clip_state() { curl -s --max-time 60 "$1/api/runs/$2/clip" | sed -n 's/.*"clip":"\([a-z]*\)".*/\1/p'; }
# clip_made URL ID: waits while the board says the clip is queued or being made (on a busy
# machine that may take long: no fixed deadline but a generous cap), true once it says
# made; false as soon as it says anything else.
clip_made() {
    local state end=$(($(date +%s) + 1800))
    for (( ; ; )); do
        state=$(clip_state "$1" "$2")
        case $state in
            made) return 0 ;;
            queued | making) [ "$(date +%s)" -lt "$end" ] || { echo "clip of run $2 still $state"; return 1; } ;;
            *) echo "clip of run $2: $state"; return 1 ;;
        esac
        sleep 0.2
    done
}
# clip_settles URL ID STATE: waits while queued or making, true when it is STATE then.
clip_settles() {
    local state end=$(($(date +%s) + 1800))
    for (( ; ; )); do
        state=$(clip_state "$1" "$2")
        case $state in
            queued | making) [ "$(date +%s)" -lt "$end" ] || return 1 ;;
            *) [ "$state" = "$3" ]; return ;;
        esac
        sleep 0.2
    done
}
body_id() { sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY" | head -1; }

# Records confirmed by a person, and clips bounded, on a board of their own with the
# stand-in verifier (which makes stand-in clips of FAKE_CLIP_BYTES): --review-top 1 (a
# run that would be the record awaits a moderator), --clip-budget 5 (one clip of a
# short round a sender a day), --clip-disk 1 (MB: three clips are over it).
review_and_clip_checks() {
    local kind=$1 db
    db=$(fresh_db "$kind" "$2" review)
    local hold=$WORK/clip-hold-$kind
    touch "$hold"
    export FAKE_CLIP_BYTES=400000 FAKE_CLIP_HOLD=$hold
    start_board "rv$kind" "$db" --zumble "$FAKE" --trust-proxy --submit-burst 100000 \
        --review-top 1 --clip-budget 5 --clip-disk 1
    local url_var=URL_rv$kind pid_var=PID_rv$kind
    local U=${!url_var}
    radmin() { "$BOARD" admin --db "$db" "$@" > "$WORK/radmin.out" 2>&1; }

    # The record awaits review: stored, listed beside the board in those words, on its
    # player's page, and on no board until a moderator approves it.
    fake ada 10 2 aaaaaaaaaa
    post "$U" Ada "$WORK/t-ada.rpl" -H 'X-Forwarded-For: 192.0.2.101'
    check "review: a record: 202 awaiting_review ($BODY)" is 202 awaiting_review
    check "review: a record: would be number 1" body_has '"rank":1'
    local ada ada_key
    ada=$(body_id)
    ada_key=$(json_key)
    req GET "$U/api/boards/10/2"
    check "review: the record is on no board ($BODY)" body_has '"runs":\[\]'
    check "review: ... it is listed as awaiting review beside it" \
        body_has "\"awaiting\":\[{\"id\":$ada,\"name\":\"Ada\",.*\"state\":\"awaiting review\"}\]"
    check "review: the board's page says so" url_has "$U/boards/10/2" 'Ada 1.170 s, awaiting review'
    check "review: the player's page says what is pending" url_has "$U/players/Ada" '10 flies, NORMAL: 1.170 s, awaiting review'
    check "review: its replay is nobody's yet" url_status "$U/api/runs/$ada/replay" 404

    # /review is for moderators: no key, a player's key, a made-up key are refused.
    req GET "$U/review"
    check "review: /review without a key: 401 ($STATUS)" [ "$STATUS" = 401 ]
    check "review: ... asking for one" bash -c 'curl -sI "$1" | grep -qi "^www-authenticate: Basic realm="' _ "$U/review"
    req GET "$U/review" -H "Authorization: Bearer $ada_key"
    check "review: a player's key: 401 ($STATUS)" [ "$STATUS" = 401 ]
    req GET "$U/review" -u "mia:zm-AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
    check "review: a made-up moderator's key: 401 ($STATUS)" [ "$STATUS" = 401 ]
    req POST "$U/review/$ada" -F action=approve -F reason=mine -H "Authorization: Bearer $ada_key"
    check "review: a player approving: 401 ($STATUS)" [ "$STATUS" = 401 ]
    radmin moderator add Mia
    check "review: moderator add: a key ($(cat "$WORK/radmin.out"))" grep -q ': zm-[A-Za-z0-9_-]\{43\}$' "$WORK/radmin.out"
    local mia
    mia=$(sed -n 's/.*: \(zm-.*\)$/\1/p' "$WORK/radmin.out")
    radmin moderator add Mia
    check "review: the same moderator again: refused, exit 1" [ $? = 1 ]
    check "review: only the key's hash is kept" [ "$(db_sql "$kind" "$db" "SELECT count(*) FROM moderators WHERE key_hash = '$mia'")" = 0 ]
    req GET "$U/review" -u "mia:$mia"
    printf '%s' "$BODY" > "$WORK/review-$kind.html"
    check "review: the moderator's page: 200 ($STATUS)" [ "$STATUS" = 200 ]
    check "review: ... the run, awaiting review" bash -c 'grep -q "Run $2: Ada, 1.170 s" <<< "$1" && grep -q "Awaiting review: it would be number 1" <<< "$1"' _ "$BODY" "$ada"
    check "review: ... a watch link with its review token" body_has "replay%3Freview%3D[0-9a-f]\{64\}"
    check "review: ... the player's runs and the seed's" bash -c 'grep -q "<h3>The player.s runs</h3><table>" <<< "$1" && grep -q "<h3>Runs on the same seed</h3><table>" <<< "$1"' _ "$BODY"
    [ -f "$SRC/tests/web/node_modules/vnu-jar/build/dist/vnu.jar" ] &&
        check "review: ... valid HTML5" html_valid "$WORK/review-$kind.html"
    req POST "$U/review/$ada" -F action=approve -u "mia:$mia"
    check "review: approve without a reason: 400 ($STATUS)" [ "$STATUS" = 400 ]
    req POST "$U/review/$ada" -F action=approve -F reason=watched -u "mia:$mia" -H 'Origin: http://evil.example'
    check "review: an approve posted from another site: 403 ($STATUS)" [ "$STATUS" = 403 ]
    req POST "$U/review/$ada" -F action=approve -F 'reason=watched the clip: a person' -u "mia:$mia"
    check "review: the moderator approves: 200 ($STATUS $BODY)" [ "$STATUS" = 200 ]
    check "review: ... the record is on the board" soon url_has "$U/api/boards/10/2" "\"runs\":\[{\"rank\":1,\"id\":$ada,"
    check "review: ... in the audit, with the moderator and the reason" [ "$(db_sql "$kind" "$db" \
        "SELECT count(*) FROM audit WHERE actor = 'moderator Mia' AND action = 'approve' AND target = 'run $ada' AND reason = 'watched the clip: a person'")" = 1 ]
    req POST "$U/review/$ada" -F action=reject -F reason=again -u "mia:$mia"
    check "review: rejecting a shown run: 409 ($STATUS)" [ "$STATUS" = 409 ]
    fake ada2 10 2 aaaaaaaaaaa
    post "$U" Ada "$WORK/t-ada2.rpl" -H 'X-Forwarded-For: 192.0.2.101' -H "Authorization: Bearer $ada_key"
    check "review: the record holder's slower run changes no place: 201 ($BODY)" is 201

    # A faster run awaits review too, and the board keeps its confirmed record meanwhile;
    # the operator's admin review lists it and rejects it with its reason.
    fake bo 10 2 bbbbb
    post "$U" Bo "$WORK/t-bo.rpl" -H 'X-Forwarded-For: 192.0.2.102'
    check "review: a faster run: 202 awaiting_review ($BODY)" is 202 awaiting_review
    local bo
    bo=$(body_id)
    check "review: ... the confirmed record keeps its place" url_has "$U/api/boards/10/2" "\"runs\":\[{\"rank\":1,\"id\":$ada,.*\"awaiting\":\[{\"id\":$bo,"
    radmin review
    check "review: admin review lists it ($(head -2 "$WORK/radmin.out" | tr '\n' ' '))" \
        grep -q "^run $bo  Bo  10 flies, NORMAL  1.085 s  awaiting review" "$WORK/radmin.out"
    radmin review reject "$bo"
    check "review: reject without a reason: exit 2" [ $? = 2 ]
    radmin review reject "$bo" faster than any hand
    check "review: admin review reject: done ($(cat "$WORK/radmin.out"))" grep -q "^run $bo is rejected" "$WORK/radmin.out"
    check "review: ... its audit row" [ "$(db_sql "$kind" "$db" "SELECT count(*) FROM audit WHERE action = 'reject' AND target = 'run $bo' AND reason = 'faster than any hand'")" = 1 ]
    check "review: ... no longer awaiting" soon url_has "$U/api/boards/10/2" '"awaiting":\[\]'
    radmin moderator remove Mia
    req GET "$U/review" -u "mia:$mia"
    check "review: a removed moderator's key: 401 ($STATUS)" [ "$STATUS" = 401 ]

    # Below the top place a run goes on the board at once; its clip covers the round and
    # three seconds after it, and the board says what it is doing about it.
    fake cy 10 2 ccccccccccccccc
    post "$U" Cy "$WORK/t-cy.rpl" -H 'X-Forwarded-For: 192.0.2.103'
    check "clips: a second place: 201 ($BODY)" is 201
    local cy cy_key
    cy=$(json_id)
    cy_key=$(json_key)
    check "clips: Cy's clip is made" clip_made "$U" "$cy"
    check "clips: the approved record's clip is made" clip_made "$U" "$ada"
    check "clips: a clip covers the round and 3 s (to=4.255)" \
        bash -c '[ "$(curl -s "$1" | head -c 14)" = "FAKE-CLIP to=4" ] && curl -s "$1" | head -1 | grep -q "^FAKE-CLIP to=4.255 ok "' _ "$U/runs/$cy/clip.webm"
    check "clips: the clip and the still are asked for with the run's name, mode and time" \
        bash -c '[ "$(curl -s "$1" | sed -n 2p)" = "caption=Cy  10 flies, NORMAL  0:01.255" ] &&
                 [ "$(curl -s "$2")" = "FAKE-PNG to=4.255 caption=Cy  10 flies, NORMAL  0:01.255" ]' _ "$U/runs/$cy/clip.webm" "$U/runs/$cy/still.png"

    # A run that is not its player's best gets no clip, and reading its page queues none.
    fake cy2 10 2 cccccccccccccccccccc
    post "$U" Cy "$WORK/t-cy2.rpl" -H 'X-Forwarded-For: 192.0.2.104' -H "Authorization: Bearer $cy_key"
    local cy2
    cy2=$(json_id)
    check "clips: a player's slower run: no clip" clip_settles "$U" "$cy2" none
    url_status "$U/runs/$cy2" 200
    req GET "$U/runs/$cy2/clip.webm"
    check "clips: reading its page and clip queues nothing (state $(clip_state "$U" "$cy2"))" [ "$(clip_state "$U" "$cy2")" = none ]
    check "clips: ... and nothing is made" bash -c '! grep -q "clip of run $2 made" "$1"' _ "$WORK/rv$kind.err" "$cy2"

    # The sender's budget: one short round's clip a day; its next run gets none.
    fake di 10 2 ddddddddddddddddddddddddd
    post "$U" Di "$WORK/t-di.rpl" -H 'X-Forwarded-For: 192.0.2.103'
    local di
    di=$(json_id)
    check "clips: a sender over its clip budget: no clip" clip_settles "$U" "$di" none
    check "clips: ... logged" grep -q "clip of run $di not made: over its sender's clip budget" "$WORK/rv$kind.err"
    check "clips: ... none served" url_status "$U/runs/$di/clip.webm" 404

    # The disk's budget: Cy's faster run from another sender makes a third clip, over
    # 1 MB: Cy's first clip, no longer a player's best, goes (the oldest not wanted).
    fake cy3 10 2 cccccccccccc
    post "$U" Cy "$WORK/t-cy3.rpl" -H 'X-Forwarded-For: 192.0.2.106' -H "Authorization: Bearer $cy_key"
    local cy3
    cy3=$(json_id)
    check "clips: the third clip is made" clip_made "$U" "$cy3"
    check "clips: over --clip-disk, the unwanted clip is removed" \
        within 60 grep -q "clip of run $cy removed for room" "$WORK/rv$kind.err"
    check "clips: ... gone" url_status "$U/runs/$cy/clip.webm" 404
    check "clips: ... the wanted ones kept" bash -c 'for id in "${@:2}"; do [ "$(curl -s -o /dev/null -w %{http_code} "$1/runs/$id/clip.webm")" = 200 ] || exit 1; done' _ "$U" "$ada" "$cy3"
    # Cy's first run is her best again once the faster one is hidden: at the next start
    # its clip is made again, and the hidden run's goes for room.
    radmin hide "$cy3" --reason "clips: hidden for the test"
    kill "${!pid_var}"
    wait "${!pid_var}" 2> /dev/null
    start_board "rv2$kind" "$db" --zumble "$FAKE" --trust-proxy --review-top 1 --clip-budget 5 --clip-disk 1
    url_var=URL_rv2$kind
    pid_var=PID_rv2$kind
    U=${!url_var}
    check "clips: a removed clip wanted again is made again" within 600 grep -q "clip of run $cy made" "$WORK/rv2$kind.err"
    check "clips: ... and the hidden run's removed" within 60 grep -q "clip of run $cy3 removed for room" "$WORK/rv2$kind.err"

    # Two servers on one database make a clip once: the clip waits, a second server starts
    # and finds the first one's claim, then the clip is made and both serve it.
    rm -f "$hold"
    fake gus 10 2 gggggggggggggggggggggggggggggg
    post "$U" Gus "$WORK/t-gus.rpl" -H 'X-Forwarded-For: 192.0.2.107'
    local gus
    gus=$(json_id)
    check "clips: the first server makes Gus's clip" within 60 eval '[ "$(clip_state "$U" "$gus")" = making ]'
    start_board "rv3$kind" "$db" --zumble "$FAKE" --review-top 1 --clip-budget 5
    local other_var=URL_rv3$kind
    local V=${!other_var}
    check "clips: the second server leaves it to the first" within 60 grep -q "clip of run $gus left to another: server" "$WORK/rv3$kind.err"
    check "clips: ... and says it is being made" [ "$(clip_state "$V" "$gus")" = making ]
    touch "$hold"
    check "clips: made" clip_made "$U" "$gus"
    check "clips: made once ($(cat "$WORK"/rv*"$kind".err | grep -c "clip of run $gus made"))" \
        [ "$(cat "$WORK/rv2$kind.err" "$WORK/rv3$kind.err" | grep -c "clip of run $gus made")" = 1 ]
    check "clips: the second server serves it" served_as "$V/runs/$gus/clip.webm" video/webm
    local other_pid=PID_rv3$kind
    kill "${!pid_var}" "${!other_pid}"
    wait "${!pid_var}" "${!other_pid}" 2> /dev/null
    unset FAKE_CLIP_BYTES FAKE_CLIP_HOLD
}

# /play/'s files as the web build leaves them, each with NAME.gz and NAME.br beside it:
# each encoding decodes to the file's very bytes under an ETag of its own, Vary names the
# choice, revalidation answers 304, a Range is cut from the file's own bytes whatever the
# browser takes, and a copy older than its file is never sent.
page_delivery_checks() {
    local U=$1 site=$2 d=$WORK/delivery
    mkdir -p "$d"
    local f=$site/index.wasm size code
    size=$(stat -c %s "$f")
    get() {  # get NAME [curl options]: sets code; the head in $d/head, the body in $d/body
        local name=$1
        shift
        code=$(curl -s -D "$d/head" -o "$d/body" -w '%{http_code}' --max-time 60 "$@" "$U/play/$name")
    }
    field() { sed -n "s/^$1: \(.*\)\r\$/\1/Ip" "$d/head"; }
    local etag_br etag_gz etag_plain modified
    get index.wasm -H 'Accept-Encoding: gzip, deflate, br'
    check "play file, brotli: 200, Content-Encoding br, Vary ($code $(field content-encoding) $(field vary))" \
        [ "$code $(field content-encoding) $(field vary)" = "200 br Accept-Encoding" ]
    check "play file, brotli: decodes to the file's very bytes" cmp -s <(brotli -dc "$d/body") "$f"
    check "play file, brotli: smaller than the file ($(stat -c %s "$d/body") of $size bytes)" \
        [ "$(stat -c %s "$d/body")" -lt "$size" ]
    etag_br=$(field etag)
    get index.wasm -H 'Accept-Encoding: gzip;q=0.8, br;q=0'
    check "play file, gzip: 200, Content-Encoding gzip ($code $(field content-encoding))" \
        [ "$code $(field content-encoding)" = "200 gzip" ]
    check "play file, gzip: decodes to the file's very bytes" cmp -s <(gzip -dc "$d/body") "$f"
    etag_gz=$(field etag)
    get index.wasm
    check "play file, no encoding asked: 200, no Content-Encoding ($code $(field content-encoding))" \
        [ "$code $(field content-encoding)" = "200 " ]
    check "play file, no encoding asked: the file's bytes" cmp -s "$d/body" "$f"
    etag_plain=$(field etag)
    modified=$(field last-modified)
    check "play file: an ETag per encoding ($etag_plain $etag_gz $etag_br)" \
        [ -n "$etag_plain" -a -n "$etag_gz" -a -n "$etag_br" -a "$etag_plain" != "$etag_gz" -a \
          "$etag_gz" != "$etag_br" -a "$etag_plain" != "$etag_br" ]
    get index.wasm -H 'Accept-Encoding: br' -H "If-None-Match: $etag_br"
    check "play file: revalidated with its brotli ETag, 304 naming it ($code $(field etag))" \
        [ "$code $(field etag)" = "304 $etag_br" ]
    get index.wasm -H 'Accept-Encoding: br' -H "If-None-Match: $etag_plain"
    check "play file: the identity ETag does not revalidate the brotli bytes ($code)" [ "$code" = 200 ]
    get index.wasm -H "If-Modified-Since: $modified"
    check "play file: revalidated by its Last-Modified ($modified), 304 ($code)" [ "$code" = 304 ]
    get index.html -H 'Accept-Encoding: gzip'
    get index.html -H 'Accept-Encoding: gzip' -H "If-None-Match: $(field etag)"
    check "play file: the page itself revalidates too ($code)" [ "$code" = 304 ]
    # Ranges: the file's own bytes, even where brotli is taken; past the end, 416.
    get index.wasm -H 'Accept-Encoding: br' -H 'Range: bytes=100-1099'
    check "play file, Range with brotli taken: 206 without an encoding ($code $(field content-encoding))" \
        [ "$code $(field content-encoding)" = "206 " ]
    check "play file, Range: its Content-Range ($(field content-range))" \
        [ "$(field content-range)" = "bytes 100-1099/$size" ]
    check "play file, Range: the file's own bytes 100 to 1099" cmp -s "$d/body" <(tail -c +101 "$f" | head -c 1000)
    get index.wasm -H "Range: bytes=$size-"
    check "play file, Range past the end: 416 with the file's size ($code $(field content-range))" \
        [ "$code $(field content-range)" = "416 bytes */$size" ]
    get index.wasm -H 'Range: bytes=0-9' -H 'If-Range: "1-2"'
    check "play file, Range with If-Range of another tag: the whole file ($code)" [ "$code" = 200 ]
    check "play file, Range with If-Range of another tag: ... its bytes" cmp -s "$d/body" "$f"
    # A copy left from an older build is never sent for the new file.
    touch -d '2001-01-01' "$f.br"
    get index.wasm -H 'Accept-Encoding: br, gzip'
    check "play file, a brotli copy older than the file: gzip instead ($code $(field content-encoding))" \
        [ "$code $(field content-encoding)" = "200 gzip" ]
    touch "$f.br"
}

run_trust_suite() {
    local kind=$1
    TDB=$2
    FAKE_REPLAY=$TESTS/fake_replay.sh
    command -v jing > /dev/null || { fail "jing is not installed (scripts/install-deps.sh board)"; return; }
    # The stand-in makes a folder in FAKE_ZUMBLE_RUNS for each verification it runs.
    local runs_dir=$WORK/verifications-$kind
    mkdir -p "$runs_dir"
    # The game's page as the web build leaves it, its files with their compressed copies.
    local site=$WORK/site-$kind
    mkdir -p "$site"
    echo '<!doctype html><title>the page</title>' > "$site/index.html"
    seq 1 60000 > "$site/index.wasm"
    for f in "$site/index.html" "$site/index.wasm"; do
        gzip -9 -n -c "$f" > "$f.gz" && brotli -q 5 -f -o "$f.br" "$f"
    done
    FAKE_ZUMBLE_RUNS=$runs_dir start_board "trust$kind" "$TDB" --zumble "$FAKE" \
        --submit-burst 100000 --trust-proxy --max-held 2 --metrics-from 192.0.2.0/24,2001:db8::/32 \
        --access-log --log-format json --site "$site"
    local url_var=URL_trust$kind
    local U=${!url_var}
    page_delivery_checks "$U" "$site"
    local from=(-H 'X-Forwarded-For: 192.0.2.10')

    # Inputs no backend produces: each refused as invalid with its rule, nothing stored.
    local now
    now=$(date +%s)
    fake offscreen 10 2 abcdef cursor=-31,140
    fake clicks 10 2 abcdef clicks=3
    fake future 10 2 abcdef seed=$((now + 2 * 86400))
    fake autoplay 10 2 abcdef autoplay=1
    fake seventies 10 2 abcdef seed=86400
    local what
    for what in "offscreen:invalid:cursor is outside the screen" "clicks:invalid:presses of the button" \
                "future:invalid:from the future" "autoplay:autoplay:" \
                "seventies:invalid:1970-01-02, before 2020-01-01: the clock of the machine"; do
        IFS=: read -r file code rule <<< "$what"
        post "$U" Crafty "$WORK/t-$file.rpl" "${from[@]}"
        check "$file: 422 $code ($STATUS $BODY)" is 422 "$code"
        [ -z "$rule" ] || check "$file: the rule is named" grep -q "\"rule\":\"[^\"]*$rule" <<< "$BODY"
        check "$file: a sentence for the player" grep -q '"message":"[^"]' <<< "$BODY"
    done
    fake desync 10 2 abcdef
    sed -i 's/^check .*/check 1/' "$WORK/t-desync.rpl"
    post "$U" Crafty "$WORK/t-desync.rpl" "${from[@]}"
    check "desync: its frame ($BODY)" grep -q '"error":"desync",.*"frame":3' <<< "$BODY"
    # Each answer names its request, and the log (JSON lines here) says what became of it
    # under that name: the verdict, the request itself, and a post from another site's
    # page, refused before its route.
    local log=$WORK/trust$kind.err rid
    post "$U" Crafty "$WORK/t-offscreen.rpl" "${from[@]}" -D "$WORK/post.headers"
    rid=$(request_id "$WORK/post.headers")
    check "a request's id in its answer ($rid)" grep -Eq '^[0-9a-f]{16}$' <<< "$rid"
    check "log: the verdict under the request's id" json_log "$log" has "$rid" verdict status=422 code=invalid client=192.0.2.10
    check "log: the request under its id" soon json_log "$log" has "$rid" access status=422 method=POST
    post "$U" Crafty "$WORK/t-offscreen.rpl" "${from[@]}" -H 'Origin: https://evil.example' -D "$WORK/post.headers"
    rid=$(request_id "$WORK/post.headers")
    check "another site's post: 403 ($STATUS)" is 403 forbidden
    check "log: another site's post refused, under its id" json_log "$log" has "$rid" refusal status=403 code=forbidden path=/api/runs
    # A proxy's own id is kept (the board is behind one here), a bad one replaced.
    curl -s -o /dev/null -D "$WORK/get.headers" -H 'X-Request-Id: nginx-4f1c.2' "$U/api/boards"
    check "a proxy's request id kept" [ "$(request_id "$WORK/get.headers")" = nginx-4f1c.2 ]
    curl -s -o /dev/null -D "$WORK/get.headers" -H 'X-Request-Id: a b<c>' "$U/api/boards"
    check "a bad request id replaced" grep -Eq '^[0-9a-f]{16}$' <<< "$(request_id "$WORK/get.headers")"
    check "log: every line JSON" json_log "$log" parse
    check "crafted: nothing stored, no name claimed" \
        [ "$(db_sql "$kind" "$TDB" 'SELECT count(*) FROM runs')/$(db_sql "$kind" "$TDB" 'SELECT count(*) FROM players')" = 0/0 ]

    # A name is claimed by its first run: the answer carries the key, once.
    fake ann1 10 2 annfirstrun program=zumble-1.4 seed=1700000000
    post "$U" Ann "$WORK/t-ann1.rpl" "${from[@]}"
    check "first run of Ann: 201 ($BODY)" [ "$STATUS" = 201 ]
    local ann_key ann1
    ann_key=$(json_key)
    ann1=$(json_id)
    check "first run of Ann: a key ($ann_key)" grep -Eq '^zk-[A-Za-z0-9_-]{43}$' <<< "$ann_key"
    check "the key is kept hashed" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM players WHERE key_hash = '$(printf %s "$ann_key" | sha256sum | cut -c1-64)'")" = 1 ]
    check "the key is not kept as it is" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM players WHERE key_hash LIKE 'zk-%'")" = 0 ]
    # The same round again: under its own name (a retry) it is the same run, without
    # the key; under any other name, or with other header text, a duplicate naming it.
    post "$U" Ann "$WORK/t-ann1.rpl" "${from[@]}"
    check "the same replay under its name: 200, the same run, no key again" \
        [ "$STATUS/$(json_id)/$(json_key)" = "200/$ann1/" ]
    fake ann1text 10 2 annfirstrun program=zumble-9.9-other seed=1700000000
    check "other header text: other bytes" bash -c '! cmp -s "$1" "$2"' _ "$WORK/t-ann1.rpl" "$WORK/t-ann1text.rpl"
    post "$U" Mallory "$WORK/t-ann1text.rpl" -H 'X-Forwarded-For: 192.0.2.66'
    check "the same round with other header text under another name: 409 ($BODY)" is 409 duplicate
    check "the duplicate names run $ann1" body_has "\"run\":$ann1}"
    post "$U" Mallory "$WORK/t-ann1.rpl" -H 'X-Forwarded-For: 192.0.2.66'
    check "the very bytes under another name: 409 duplicate" is 409 duplicate
    # A copy moved one pixel where it swats nothing is another round by its inputs, and
    # the same one by what the game did: its mode, seed and swats.
    fake ann1pixel 10 2 annfirstrun program=zumble-1.4 seed=1700000000 cursor=321,240
    post "$U" Mallory "$WORK/t-ann1pixel.rpl" -H 'X-Forwarded-For: 192.0.2.66'
    check "the one-pixel copy under another name: 409 duplicate ($BODY)" is 409 duplicate
    check "the one-pixel copy names run $ann1" body_has "\"run\":$ann1}"
    # Copies within frames: the same mode and seed with every swat within two frames of a
    # stored run's is that run, whatever its inputs, time or name; three frames off is
    # another round played on the seed. (Swat frames in the game's coding: K is frame 10,
    # each E four frames on, D three, F five, B one; I is frame 8.)
    fake near0 100 3 nearround seed=1700000200 swatframes=KEEEEEEEEE
    post "$U" Nia "$WORK/t-near0.rpl" "${from[@]}"
    check "a round with its swat frames: 201 ($BODY)" is 201
    local near0
    near0=$(json_id)
    local near frames inputs
    for near in "last:KEEEEEEEED:nearround" "middle:KEEEDFEEEE:nearround" "all:IEEEEEEEEE:nearround" \
                "faster:KEEEEEEEED:nearrnd"; do
        IFS=: read -r what frames inputs <<< "$near"
        fake "near-$what" 100 3 "$inputs" seed=1700000200 swatframes="$frames"
        post "$U" Mallory "$WORK/t-near-$what.rpl" -H 'X-Forwarded-For: 192.0.2.66'
        check "a near copy ($what): 409 duplicate naming run $near0 ($BODY)" \
            eval 'is 409 duplicate && body_has "\"run\":$near0}"'
    done
    check "the near copies left no name behind" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM players WHERE fold = 'mallory'")" = 0 ]
    fake near-far 100 3 nearroundx seed=1700000200 swatframes=KEEEEEEEEB
    post "$U" Nell "$WORK/t-near-far.rpl" "${from[@]}"
    check "the last swat three frames off: another round, 201 ($BODY)" is 201
    local near_far
    near_far=$(json_id)
    admin runs --same-as "$near0"
    check "admin runs --same-as: the runs of the seed whatever their swats and times ($(head -1 "$WORK/admin.out"))" \
        eval 'grep -q "^all runs 1-2 of 2" "$WORK/admin.out" && grep -q "^run $near_far " "$WORK/admin.out"'
    check "a duplicate leaves no name behind" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM players WHERE fold = 'mallory'")" = 0 ]

    # A claimed name needs its key; one that looks like it is the same name.
    fake ann2 10 2 annbetter program=zumble-1.4 seed=1700000100
    local verified_before
    verified_before=$(ls "$runs_dir" | wc -l)
    post "$U" Ann "$WORK/t-ann2.rpl" -H 'X-Forwarded-For: 192.0.2.66'
    check "Ann's name without the key: 403 name_taken ($BODY)" is 403 name_taken
    check "a name that is not the sender's costs no verification" [ "$(ls "$runs_dir" | wc -l)" = "$verified_before" ]
    post "$U" Ann "$WORK/t-ann2.rpl" -H 'X-Forwarded-For: 192.0.2.66' -H 'Authorization: Bearer zk-wrong'
    check "Ann's name with a wrong key: 403 bad_key" is 403 bad_key
    local alike
    for alike in "ann" "ANN" $'\xef\xbc\xa1nn' "  Ann  " "AN"$'\xe1\xb9\x86'; do
        post "$U" "$alike" "$WORK/t-ann2.rpl" -H 'X-Forwarded-For: 192.0.2.66'
        check "look-alike '$alike': 403 name_taken ($BODY)" is 403 name_taken
        check "look-alike '$alike': names Ann" body_has '"name":"Ann"}'
    done
    # Letters of two alphabets are no name, whoever sends them.
    for alike in $'\xd0\x90nn' $'\xce\x91NN'; do
        post "$U" "$alike" "$WORK/t-ann2.rpl" "${from[@]}" -H "Authorization: Bearer $ann_key"
        check "mixed alphabets '$alike': 400 bad_name ($BODY)" is 400 bad_name
        check "mixed alphabets '$alike': says so" body_has 'one alphabet'
    done
    # Marks drawn through a letter or around it, two accents on one, a name without a
    # letter or one that reads as a time: each refused with its rule.
    for alike in $'Ale\xcc\xb5x:through' $'A\xcc\xb5lex:through' $'Al\xcc\xb8ex:through' \
                 $'A\xe2\x83\x9dnn:around' $'Zox\xcc\x81\xcc\x88:one accent' '0.001 s:time' '007:a letter'; do
        post "$U" "${alike%:*}" "$WORK/t-ann2.rpl" "${from[@]}"
        check "'${alike%:*}': 400 bad_name ($BODY)" is 400 bad_name
        check "'${alike%:*}': says so" body_has "${alike##*:}"
    done
    check "refused names stored nothing" [ "$(db_sql "$kind" "$TDB" 'SELECT count(*) FROM runs')" = 3 ]
    post "$U" $'\xef\xbc\xa1NN' "$WORK/t-ann2.rpl" "${from[@]}" -H "Authorization: Bearer $ann_key"
    check "a look-alike with Ann's key is Ann: 201 ($BODY)" is 201
    check "a look-alike with Ann's key is shown as Ann, no new key" \
        eval 'body_has "\"name\":\"Ann\"" && ! body_has "\"key\""'
    local ann2
    ann2=$(json_id)
    fake ann3 10 2 annslowerrunx program=zumble-1.4 seed=1700000200
    post "$U" Ann "$WORK/t-ann3.rpl" "${from[@]}" -H "Authorization: Bearer $ann_key"
    check "a slower run of Ann: 201" is 201
    check "a slower run of Ann: not a personal best" body_has '"personal_best":false'
    local ann3
    ann3=$(json_id)

    # Names are Unicode; Zoë is not Zoe.
    fake zoe 10 2 zoeplays seed=1700000300
    post "$U" "Zoë" "$WORK/t-zoe.rpl" -H 'X-Forwarded-For: 2001:db8:1:2::5'
    check "Zoë: 201 ($BODY)" is 201
    check "Zoë: her name" body_has '"name":"Zo\\u00eb"'
    local zoe
    zoe=$(json_id)
    fake zoe2 10 2 zoetoo seed=1700000400
    post "$U" "Zoe" "$WORK/t-zoe2.rpl" "${from[@]}"
    check "Zoe is another name: 201" [ "$STATUS" = 201 ]

    # The client: --key-file keeps the key the board gives, and gives it next time.
    fake kim1 30 1 kimone
    fake kim2 30 1 kimtwo
    fake kim3 30 1 kimthree
    "$BOARD" submit "$WORK/t-kim1.rpl" --name Kim --to "$U" --key-file "$WORK/kim.key" > "$WORK/kim.out" 2>&1
    check "submit --key-file: on the board ($(cat "$WORK/kim.out"))" grep -q '^on the board: run [0-9]*: Kim, 30 flies' "$WORK/kim.out"
    check "submit: the name is the sender's now, in words" grep -q '^the name Kim is yours from now on' "$WORK/kim.out"
    check "submit --key-file: the key saved" grep -q '^zk-' "$WORK/kim.key"
    check "the key file is the player's alone" [ "$(stat -c %a "$WORK/kim.key")" = 600 ]
    "$BOARD" submit "$WORK/t-kim2.rpl" --name Kim --to "$U" --key-file "$WORK/kim.key" > "$WORK/kim.out" 2>&1
    check "submit --key-file again: on the board" grep -q '^on the board: ' "$WORK/kim.out"
    "$BOARD" submit "$WORK/t-kim3.rpl" --name Kim --to "$U" > "$WORK/kim.out" 2>&1
    check "submit without the key: exit 1" [ $? = 1 ]
    check "submit without the key: refused, name_taken, in words" grep -q '^refused (name_taken): the name Kim ' "$WORK/kim.out"
    "$BOARD" submit "$WORK/t-kim3.rpl" --name Kim --to "$U" --key "$(cat "$WORK/kim.key")" > "$WORK/kim.out" 2>&1
    check "submit --key: on the board" grep -q '^on the board: ' "$WORK/kim.out"

    # Signs of machine play: stored, held, never shown; the operator sees them.
    fake stripped 10 2 stripped style=plain-autoplay
    post "$U" Robo "$WORK/t-stripped.rpl" -H 'X-Forwarded-For: 192.0.2.77'
    check "autoplay with the flag stripped: 202 held ($BODY)" is 202 held
    check "autoplay with the flag stripped: its signs" body_has '"signs":\["same_path_as_autoplay:0.98"\]'
    # A held run claims no name: its sender is given the key the name gets if an
    # operator approves the run.
    check "a held run: the key its name gets if approved" grep -q '"key":"zk-' <<< "$BODY"
    check "a held run claims no name" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM players WHERE fold = 'robo' AND key_hash IS NULL")" = 1 ]
    local held1 robo_key
    held1=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    robo_key=$(json_key)
    fake bot 10 2 botrunner style=bot
    post "$U" Robo "$WORK/t-bot.rpl" -H 'X-Forwarded-For: 192.0.2.77' -H "Authorization: Bearer $robo_key"
    check "a frame-perfect bot: 202 held ($BODY)" is 202 held
    check "a frame-perfect bot: its signs" body_has '"signs":\["frame_perfect:1.00","jump_click:37"\]'
    check "a held run sent with the key of the name's held run: no other key" bash -c '! grep -q "\"key\"" <<< "$1"' _ "$BODY"
    local held2
    held2=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    # As many held runs from one address as --max-held (2) at once; then 429.
    fake bot3 10 2 botrunnerthree style=bot
    post "$U" Robo "$WORK/t-bot3.rpl" -H 'X-Forwarded-For: 192.0.2.77' -H "Authorization: Bearer $robo_key"
    check "a third held run from one address: 429 too_many_held ($BODY)" is 429 too_many_held
    check "a third held run: not stored" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM runs WHERE sender = '192.0.2.77'")" = 2 ]
    # The metrics: only from the ranges --metrics-from names (not loopback, then), with the
    # held runs as the database has them.
    scrape "$U"
    check "metrics from loopback, not named: 404 ($STATUS)" [ "$STATUS" = 404 ]
    scrape "$U" -H 'X-Forwarded-For: 198.51.100.7'
    check "metrics from an address not named: 404 ($STATUS)" [ "$STATUS" = 404 ]
    scrape "$U" -H 'X-Forwarded-For: 2001:db8:5::9'
    check "metrics from a named IPv6 range: 200 ($STATUS)" [ "$STATUS" = 200 ]
    scrape "$U" "${from[@]}"
    check "metrics from a named address: 200 ($STATUS)" [ "$STATUS" = 200 ]
    check "metrics: the held runs ($(metric zumble_board_held_runs))" \
        [ "$(metric zumble_board_held_runs)" = "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM runs WHERE state = 'held'")" ]
    check "metrics: held, counted by code" [ "$(metric 'zumble_board_submissions_total{code="held",status="202"}')" = 2 ]
    check "held runs: not shown" soon hidden_everywhere "$U" "$held1" Robo 10 2
    check "held runs: not shown (2)" soon hidden_everywhere "$U" "$held2" Robo 10 2
    post "$U" Robo "$WORK/t-bot.rpl" -H 'X-Forwarded-For: 192.0.2.77'
    check "a held run sent again: still held" is 202 held

    admin held --url "$U"
    check "admin held: both runs ($(cat "$WORK/admin.out"))" grep -q '^held runs 1-2 of 2' "$WORK/admin.out"
    check "admin held: the bot's signs" grep -q 'signs: frame_perfect:1.00,jump_click:37' "$WORK/admin.out"
    check "admin held: the other's signs" grep -q 'signs: same_path_as_autoplay:0.98' "$WORK/admin.out"
    # The watch link's replay: a review token opens a held run's replay, and nothing else.
    local watch replay_path
    watch=$(grep -m1 "watch: .*runs%2F$held2%2F" "$WORK/admin.out" | sed 's/.*watch: //')
    replay_path=$(python3 -c 'import sys,urllib.parse as u; print(u.parse_qs(u.urlsplit(sys.argv[1]).query)["replay"][0])' "$watch")
    req GET "$U$replay_path"
    check "the watch link plays the held run (got $STATUS)" cmp -s "$WORK/body" "$WORK/t-bot.rpl"
    req GET "$U${replay_path%?review=*}?review=0000"
    check "a wrong review token: 404" [ "$STATUS" = 404 ]
    req GET "$U${replay_path/$held2/$ann1}"
    check "a review token is one run's" [ "$STATUS" = 404 ]

    admin approve "$held1"
    check "approve without a reason: refused, exit 2" [ "$ADMIN_RC" = 2 ]
    check "approve without a reason: says so" grep -q 'needs --reason' "$WORK/admin.out"
    admin approve "$held1" --reason "a person, checked by watching"
    check "approve: done ($(cat "$WORK/admin.out"))" [ "$ADMIN_RC" = 0 ]
    check "approved: shown" soon shows_anywhere "$U" "$held1" Robo 10 2
    admin reject "$held2" --reason "clicks every fly on every frame"
    check "reject: done" [ "$ADMIN_RC" = 0 ]
    check "rejected: not shown" soon hidden_everywhere "$U" "$held2" Robo 10 2
    admin reject "$held2" --reason again
    check "reject a rejected run: refused, exit 1" [ "$ADMIN_RC" = 1 ]
    check "reject a rejected run: says so" grep -q 'is rejected' "$WORK/admin.out"
    admin approve 999999 --reason x
    check "approve a run that is not there: exit 1" [ "$ADMIN_RC" = 1 ]

    # A held run's name is anyone's until it is approved; a farm's held runs rejected at
    # once, and their names free.
    fake nomad 10 2 nomadbot style=bot
    post "$U" Nomad "$WORK/t-nomad.rpl" -H 'X-Forwarded-For: 192.0.2.88'
    local nomad farm1
    nomad=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    fake nomad2 10 2 nomadperson
    post "$U" Nomad "$WORK/t-nomad2.rpl" "${from[@]}"
    check "the name of a held run taken by another's run: 201 with its key ($BODY)" \
        eval 'is 201 && body_has "\"key\":\"zk-"'
    admin approve "$nomad" --reason "looks fine"
    check "approving a held run whose name another claimed since: refused, exit 1" \
        grep -q 'was claimed by another run' "$WORK/admin.out"
    fake farm1 10 2 farmone style=bot
    fake farm2 10 2 farmtwo style=bot
    fake farm3 10 2 farmthree style=bot
    post "$U" Farm1 "$WORK/t-farm1.rpl" -H 'X-Forwarded-For: 192.0.2.88'
    farm1=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    post "$U" Farm2 "$WORK/t-farm2.rpl" -H 'X-Forwarded-For: 192.0.2.88'
    check "farm: 429 once its address has two held ($BODY)" is 429 too_many_held
    admin held --from 192.0.2.88 --sign frame_perfect --limit 1
    check "admin held --from --sign: paged ($(head -1 "$WORK/admin.out"))" grep -q '^held runs 1-1 of 2' "$WORK/admin.out"
    admin held --name farm1
    check "admin held --name: Farm1's" [ "$(grep -c '^run .* Farm1 ' "$WORK/admin.out")/$(grep -c '^run ' "$WORK/admin.out")" = 1/1 ]
    admin held --from 192.0.2.88 --sign same_path_as_autoplay
    check "admin held --sign: none of the farm's" grep -q '^held runs 0-0 of 0' "$WORK/admin.out"
    admin reject --all-from 192.0.2.88 --reason "the farm's runs"
    check "reject --all-from: both ($(cat "$WORK/admin.out"))" [ "$ADMIN_RC/$(grep -c 'is rejected' "$WORK/admin.out")" = 0/2 ]
    post "$U" Farm2 "$WORK/t-farm2.rpl" -H 'X-Forwarded-For: 192.0.2.88'
    check "farm: held again once reviewed ($BODY)" is 202 held
    local farm2 farm3
    farm2=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    post "$U" Farm3 "$WORK/t-farm3.rpl" -H 'X-Forwarded-For: 192.0.2.88'
    farm3=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    admin reject "$farm2" "$farm3" --reason "the farm again"
    check "reject ID ID: done" [ "$ADMIN_RC/$(grep -c 'is rejected' "$WORK/admin.out")" = 0/2 ]
    fake farmer 10 2 farmerplays
    post "$U" Farm1 "$WORK/t-farmer.rpl" "${from[@]}"
    check "a rejected run's name is free: 201 with its key ($BODY)" eval 'is 201 && body_has "\"key\":\"zk-"'

    # Two rounds really played on one seed are two runs, at the same time here; the
    # operator sees them side by side.
    fake same1 30 3 samexx seed=1700000500
    fake same2 30 3 sameyy seed=1700000500
    post "$U" Sam "$WORK/t-same1.rpl" "${from[@]}"
    local same1
    same1=$(json_id)
    post "$U" Sal "$WORK/t-same2.rpl" "${from[@]}"
    check "another round on the same seed: 201 ($BODY)" is 201
    admin runs --same-as "$same1"
    check "admin runs --same-as: both ($(head -1 "$WORK/admin.out"))" \
        eval 'grep -q "^all runs 1-2 of 2" "$WORK/admin.out" && grep -q " Sal  30 flies" "$WORK/admin.out"'

    # Enter and Space change the pace: such a round is ranked on a board of its own.
    fake keyed 10 2 keyedround keys=3 seed=1700000600
    post "$U" Kay "$WORK/t-keyed.rpl" "${from[@]}"
    check "a round with rate keys: 201 on the board with the keys ($BODY)" \
        eval 'is 201 && body_has "\"keys\":3,\"board\":\"/api/boards/10/2/keys\""'
    local kay
    kay=$(json_id)
    check "rate keys: on its board" soon url_has "$U/api/boards/10/2/keys" "\"rank\":1,\"id\":$kay,"
    check "rate keys: on its board's page, with the keys" url_has "$U/boards/10/2/keys" "api/runs/$kay/replay.*<td class=\"t\">3</td>"
    check "rate keys: not on the mode's board" bash -c '! grep -q "\"id\":$1," <<< "$(curl -s "$2/api/boards/10/2?limit=200")$(curl -s "$2/api/boards")"' _ "$kay" "$U"
    check "rate keys: not on the mode's page nor the front page" bash -c '! grep -q "api/runs/$1/replay" <<< "$(curl -s "$2/boards/10/2?limit=200")$(curl -s "$2/")"' _ "$kay" "$U"
    check "rate keys: the mode's page leads to it" url_has "$U/boards/10/2" 'href="/boards/10/2/keys">With Enter/Space'
    check "rate keys: not in the feed of records" feed_without "$U" "$kay"
    check "rate keys: its player's page says which board" url_has "$U/players/Kay" '10 flies, NORMAL, with Enter/Space'

    # Hide and restore a run; ban and restore a name and an address.
    check "Ann's best shows" soon shows_anywhere "$U" "$ann2" Ann 10 2
    admin hide "$ann2" --reason "shared replay, reported"
    check "hidden: shown nowhere (${SHOWN_IN:-})" soon hidden_everywhere "$U" "$ann2" Ann 10 2
    check "hidden: Ann's earlier best is her best again" soon url_has "$U/api/boards/10/2" "\"id\":$ann1,"
    admin restore "$ann2" --reason "the report was wrong"
    check "restored: shown" soon shows_anywhere "$U" "$ann2" Ann 10 2

    admin unban-name "Nobody Yet" --reason x
    check "unban a name nobody has: exit 1" [ "$ADMIN_RC" = 1 ]
    admin ban-name "Slur" --reason "kept from use"
    check "ban a name nobody has yet: done" [ "$ADMIN_RC" = 0 ]
    fake slur 10 2 slurrun
    post "$U" "SIur" "$WORK/t-slur.rpl" "${from[@]}"
    check "a name banned before its first run (by a look-alike): 403 banned" is 403 banned
    admin ban-name $'\xd0\x90NN' --reason "impersonation"
    check "ban-name by a look-alike bans Ann: done" [ "$ADMIN_RC" = 0 ]
    check "a banned name's runs: shown nowhere (${SHOWN_IN:-})" soon hidden_everywhere "$U" "$ann2" Ann 10 2
    check "a banned name has no page" soon url_status "$U/players/Ann" 404
    fake ann4 10 2 annfour
    post "$U" Ann "$WORK/t-ann4.rpl" "${from[@]}" -H "Authorization: Bearer $ann_key"
    check "a banned name sends: 403 banned ($BODY)" is 403 banned
    check "a banned name sends: the reason" body_has '"what":"name","reason":"impersonation"}'
    admin unban-name Ann --reason "cleared up"
    check "unban-name: Ann shows again" soon shows_anywhere "$U" "$ann2" Ann 10 2

    admin ban-address 192.0.2.77 --reason "a bot farm"
    check "ban-address: done" [ "$ADMIN_RC" = 0 ]
    check "a banned address's runs: shown nowhere" soon hidden_everywhere "$U" "$held1" Robo 10 2
    post "$U" Robo "$WORK/t-ann4.rpl" -H 'X-Forwarded-For: 192.0.2.77' -H "Authorization: Bearer $robo_key"
    check "a banned address sends: 403 banned ($BODY)" is 403 banned
    check "a banned address sends: the reason" body_has '"what":"address","reason":"a bot farm"}'
    admin ban-address 2001:db8:1:2::99 --reason "the whole block"
    post "$U" Zed "$WORK/t-ann4.rpl" -H 'X-Forwarded-For: 2001:db8:1:2:ffff::1'
    check "an IPv6 ban takes its /64: 403 banned" is 403 banned
    check "an IPv6 ban hides the block's runs" soon hidden_everywhere "$U" "$zoe" "Zoë" 10 2
    admin unban-address 2001:db8:1:2::/64 --reason "done"
    admin unban-address 192.0.2.77 --reason "done"
    check "unban-address: the runs are back" soon shows_anywhere "$U" "$held1" Robo 10 2
    check "banned senders stored nothing" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM runs WHERE name IN ('Zed')")" = 0 ]

    # Rename: the board shows the new name, the old one is free, a taken one is refused.
    admin rename "Zoë" "Zoë Q" --reason "asked by the player"
    check "rename: done ($(cat "$WORK/admin.out"))" [ "$ADMIN_RC" = 0 ]
    check "rename: the board shows the new name" soon url_has "$U/api/boards/10/2?limit=200" '"name":"Zo\\u00eb Q"'
    check "rename: the new name's page" soon url_status "$U/players/Zo%C3%AB%20Q" 200
    admin rename "Zoë Q" "ann" --reason "x"
    check "rename to a taken name (one that looks like it): exit 1" [ "$ADMIN_RC" = 1 ]
    check "rename to a taken name: says whose" grep -q "is Ann's" "$WORK/admin.out"
    admin rename "Zoë Q" "Аnn Q" --reason "x"  # a Cyrillic А among Latin letters
    check "rename to a name no player may take: exit 1, says why ($(cat "$WORK/admin.out"))" \
        bash -c '[ "$1" = 1 ] && grep -q "alphabet" "$2"' _ "$ADMIN_RC" "$WORK/admin.out"

    # A new key for a player who lost theirs: the old one stops working.
    admin new-key Kim --reason "lost the key, proved by email"
    local kim_key
    kim_key=$(sed -n 's/.*: \(zk-.*\)$/\1/p' "$WORK/admin.out")
    fake kim4 30 1 kimfour
    post "$U" Kim "$WORK/t-kim4.rpl" "${from[@]}" -H "Authorization: Bearer $(cat "$WORK/kim.key")"
    check "the old key after new-key: 403 bad_key" is 403 bad_key
    post "$U" Kim "$WORK/t-kim4.rpl" "${from[@]}" -H "Authorization: Bearer $kim_key"
    check "the new key: 201" [ "$STATUS" = 201 ]

    # Every change in the audit table: time, who, what, why; and `admin audit` shows it.
    local rows
    rows=$(db_sql "$kind" "$TDB" "SELECT action || '|' || target || '|' || reason FROM audit ORDER BY id")
    check "audit rows ($rows)" [ "$rows" = "approve|run $held1|a person, checked by watching
reject|run $held2|clicks every fly on every frame
reject|run $nomad|the farm's runs
reject|run $farm1|the farm's runs
reject|run $farm2|the farm again
reject|run $farm3|the farm again
hide|run $ann2|shared replay, reported
restore|run $ann2|the report was wrong
ban-name|name Slur|kept from use
ban-name|name Ann|impersonation
unban-name|name Ann|cleared up
ban-address|address 192.0.2.77|a bot farm
ban-address|address 2001:db8:1:2::/64|the whole block
unban-address|address 2001:db8:1:2::/64|done
unban-address|address 192.0.2.77|done
rename|name Zoë -> Zoë Q|asked by the player
new-key|name Kim|lost the key, proved by email" ]
    check "audit rows: each with its time and actor" [ "$(db_sql "$kind" "$TDB" \
        "SELECT count(*) FROM audit WHERE at >= $now - 5 AND at <= $(date +%s) + 5 AND actor <> ''")" = 17 ]
    admin audit --limit 2
    check "admin audit: paged ($(head -3 "$WORK/admin.out"))" grep -q '^audit 1-2 of 17' "$WORK/admin.out"
    check "admin audit: newest first" grep -q '^[0-9]*  20[0-9-]*T[0-9:]*Z  .*  new-key  name Kim  because: lost the key' <(sed -n 2p "$WORK/admin.out")
    admin runs Ann
    check "admin runs NAME: all of Ann's runs" grep -q '^all runs 1-3 of 3' "$WORK/admin.out"

    # A player's page: every run stored, each board's fastest first (the best, the best it
    # replaced, the slower run sent after the best), dates, watch and race links, and the
    # chart of the runs in the order they were sent.
    req GET "$U/api/players/ann"
    check "player API by any look-alike: 200" [ "$STATUS" = 200 ]
    check "player API: the best, the one it replaced, the slower one ($BODY)" \
        grep -q "\"total\":3,\"offset\":0,\"runs\":\[{\"best\":true,\"id\":$ann2,.*{\"best\":false,\"id\":$ann1,.*{\"best\":false,\"id\":$ann3," <<< "$BODY"
    check "player API: the speed in words" body_has '"speed":2,"speed_word":"NORMAL","time_ms":'
    check "player API: when it was played, with what" grep -q '"played":"2023-11-14T22:15:00Z","program":"zumble-1.4"' <<< "$BODY"
    req GET "$U/api/players/ann?limit=1&offset=1"
    check "player API: paged" grep -q "\"total\":3,\"offset\":1,\"runs\":\[{\"best\":false,\"id\":$ann1," <<< "$BODY"
    req GET "$U/players/Ann"
    check "player page: best, then replaced, then the slower run" body_has "best</td>.*replaced</td>.*slower</td>.*api/runs/$ann3/replay"
    check "player page: the mode in words" body_has '>10 flies, NORMAL</a></h2>'
    check "player page: a chart of the three runs" \
        [ "$(grep -o '<svg class="chart".*</svg>' <<< "$BODY" | grep -o '<circle ' | wc -l)" = 3 ]
    check "player page: race links" body_has "/play/?race=/api/runs/$ann3/replay"
    check "player page: watch links" body_has "/play/?replay=/api/runs/$ann1/replay"
    check "player page: played when (read as people do, ISO in the markup), with what" \
        body_has 'played <time datetime="2023-11-14T22:15:00Z">14 Nov 2023</time> with zumble-1.4'
    req GET "$U/players/Nobody"
    check "no such player: 404" [ "$STATUS" = 404 ]

    # Paging with totals, "jump to my rank".
    local i
    for i in $(seq -w 1 25); do
        fake "p$i" 100 4 "$(printf 'p%.0s' $(seq 1 "$((10#$i))"))q" seed=$((1700000000 + 10#$i))
        post "$U" "P$i" "$WORK/t-p$i.rpl" "${from[@]}"
        [ "$STATUS" = 201 ] || fail "page runs: P$i got $STATUS $BODY"
    done
    req GET "$U/api/boards/100/4"
    check "a board: 20 by default" [ "$(grep -o '"rank"' <<< "$BODY" | wc -l)" = 20 ]
    check "a board: of 25" body_has '"total":25,"offset":0'
    req GET "$U/api/boards/100/4?offset=20"
    check "a board's last page: 5" [ "$(grep -o '"rank"' <<< "$BODY" | wc -l)" = 5 ]
    check "a board's last page: ranked 21 on" body_has '"runs":\[{"rank":21,'
    req GET "$U/api/boards/100/4?limit=201"
    check "limit 201: 400" is 400 bad_request
    req GET "$U/api/boards/100/4?limit=200"
    check "limit 200: all 25" [ "$(grep -o '"rank"' <<< "$BODY" | wc -l)" = 25 ]
    req GET "$U/api/boards/100/4?offset=-1"
    check "offset -1: 400" [ "$STATUS" = 400 ]
    req GET "$U/api/boards/100/4?name=p23&limit=10"
    check "jump to my rank: the page it is on" body_has '"offset":20,'
    check "jump to my rank: rank 23 ($(grep -o '"you":.*' <<< "$BODY"))" body_has '"you":{"name":"p23","rank":23}'
    check "jump to my rank: P23 on the page" body_has '"rank":23,"id":[0-9]*,"name":"P23"'
    req GET "$U/boards/100/4?name=P23&limit=10"
    check "jump to my rank, page: P23's row marked" grep -q 'class="you"><td>23</td><td class="n"><a href="/players/P23">P23</a>' <<< "$BODY"
    check "mode page: played when and with what" \
        grep -Eq '<time datetime="2023-11-14T[0-9:]{8}Z" title="played 14 Nov 2023 with fake-1">14 Nov 2023</time>' <<< "$BODY"
    check "mode page: a header over each column, Time over the times" \
        grep -q '<tr><th>#</th><th>Name</th><th class="t">Time</th><th>Played</th><th colspan="2">Replay</th><th>Program</th></tr>' <<< "$BODY"
    check "mode page: paging links" grep -q 'rel="prev" href="/boards/100/4?offset=10&amp;limit=10"' <<< "$BODY"
    req GET "$U/api/boards/100/4?name=Nobody"
    check "jump: a name not on the board" grep -q '"you":{"name":"Nobody","rank":null}' <<< "$BODY"
    req GET "$U/api/boards"
    check "all boards: each mode's total" body_has '"flies":100,"speed":4,"speed_word":"CRAZY","total":25,"offset":0'
    check "all boards: ten a mode" [ "$(grep -o '"rank"' <<< "$BODY" | wc -l)" -le 160 ]

    # The feed: records only, shown runs only, valid Atom.
    check "feed: valid Atom ($(head -3 "$WORK/jing.out" 2> /dev/null))" feed_valid "$U"
    check "feed: every link absolute, on the host asked ($(head -c 300 "$WORK/feed.xml" | tail -c 120))" feed_links_at "$U"
    check "feed: Ann's first record" grep -q "api/runs/$ann1/replay" "$WORK/feed.xml"
    check "feed: Ann's second record" grep -q "api/runs/$ann2/replay" "$WORK/feed.xml"
    check "feed: no slower run, no rejected run" \
        bash -c '! grep -q -e "api/runs/$1/replay" -e "api/runs/$2/replay" "$3"' _ "$ann3" "$held2" "$WORK/feed.xml"
    check "feed: one entry for 100/4, its first run, the mode in words" [ "$(grep -c '100 flies, CRAZY</title>' "$WORK/feed.xml")" = 1 ]
    admin hide "$ann2" --reason "again"
    check "feed: without the hidden record" soon feed_without "$U" "$ann2"
    check "feed: still valid" feed_valid "$U"
    # Behind a proxy (this board trusts one), the links are on the name it was asked by.
    check "feed: asked by another name, still valid" feed_valid "$U" -H 'X-Forwarded-Host: board.example:8443'
    check "feed: its links on that name" feed_links_at "http://board.example:8443"
    check "feed: asked by a name that is none, still valid" feed_valid "$U" -H 'X-Forwarded-Host: a"b><c'
    check "feed: its links on the board's own address" feed_links_at "$U"
    req GET "$U/"
    check "front page: the feed's link" body_has 'href="/feed.atom"'
    check "front page: a player's link" body_has 'href="/players/Zo%C3%AB%20Q"'

    # The upload form takes the key too, and shows a new name's key once.
    fake form1 30 4 formone
    req POST "$U/submit" --form-string "name=Fay" -F "replay=@$WORK/t-form1.rpl" "${from[@]}"
    check "upload form: 201" is 201
    check "upload form: the key on the page" body_has 'Its key, shown only this once: <code class="key">zk-'
    local fay_key
    fay_key=$(sed -n 's/.*<code class="key">\(zk-[^<]*\)<.*/\1/p' <<< "$BODY")
    fake form2 30 4 formtwo
    req POST "$U/submit" --form-string "name=Fay" -F "replay=@$WORK/t-form2.rpl" "${from[@]}"
    check "upload form without the key: 403" is 403
    check "upload form without the key: why, in words" body_has 'belongs to another player'
    req POST "$U/submit" --form-string "name=Fay" --form-string "key=$fay_key" -F "replay=@$WORK/t-form2.rpl" "${from[@]}"
    check "upload form with the key: 201" [ "$STATUS" = 201 ]

    # On PostgreSQL two servers (or two connections of one) deciding on held runs from one
    # address take turns: a session holding that address's lock keeps a held run from
    # being stored, which is then stored as soon as the lock is let go.
    if [ "$kind" = pg ]; then
        fake lockbot 10 2 lockbotrunner style=bot
        mkfifo "$WORK/lock.sql"
        psql -qtAX "$TDB" < "$WORK/lock.sql" > "$WORK/lock.out" 2>&1 &
        local locker=$! sent
        exec 9> "$WORK/lock.sql"
        echo "SELECT pg_advisory_lock(2323002, hashtext('192.0.2.79'));" >&9
        check "held runs' turns: a session holds the address's lock" \
            within 30 bash -c '[ "$(psql -qtAX "$1" -c "SELECT count(*) FROM pg_locks WHERE locktype = '"'"'advisory'"'"' AND granted AND classid = 2323002 AND objsubid = 2")" = 1 ]' _ "$TDB"
        curl -s -o "$WORK/lock.body" -w '%{http_code}' --max-time 60 -X POST "$U/api/runs" --url-query "name=Lockbot" \
            --data-binary "@$WORK/t-lockbot.rpl" -H 'Content-Type: application/octet-stream' \
            -H 'X-Forwarded-For: 192.0.2.79' > "$WORK/lock.code" &
        sent=$!
        check "held runs' turns: the run waits for the lock" \
            within 30 bash -c '[ "$(psql -qtAX "$1" -c "SELECT count(*) FROM pg_locks WHERE locktype = '"'"'advisory'"'"' AND NOT granted AND classid = 2323002")" = 1 ]' _ "$TDB"
        check "held runs' turns: nothing stored meanwhile" \
            [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM runs WHERE sender = '192.0.2.79'")" = 0 ]
        echo "SELECT pg_advisory_unlock_all();" >&9
        exec 9>&-
        wait "$sent"
        wait "$locker"
        check "held runs' turns: stored once the lock is let go ($(cat "$WORK/lock.code") $(cat "$WORK/lock.body"))" \
            [ "$(cat "$WORK/lock.code")" = 202 ]
    fi

    check "nothing half-stored" [ "$(db_sql "$kind" "$TDB" \
        "SELECT count(*) FROM runs LEFT JOIN replays ON replays.hash = runs.hash WHERE replays.hash IS NULL")" = 0 ]
    check "every run has its player" [ "$(db_sql "$kind" "$TDB" "SELECT count(*) FROM runs WHERE player IS NULL")" = 0 ]
    local pid_var=PID_trust$kind
    kill "${!pid_var}"
    wait "${!pid_var}" 2> /dev/null

    review_and_clip_checks "$kind" "$TDB"
    real_game_refusals "$kind" "$TDB"
}

# With a game whose --verify gives the round's identity and the autoplay flag, every rule
# again with rounds the game played and the game verifying them: rounds a person could
# play (tests/e2e/human_round.py) accepted and shown; crafted from them (replay_craft,
# built beside the game) a cursor off the screen, presses in one frame, a seed from the
# future, the autoplay flag set; the game's test player's round, flagged and with its flag
# cleared; a bot's round; the same round with other header text under another name; a
# claimed name without its key, and one that looks like it; a banned name and address.
real_game_refusals() {
    local kind=$1 db=$2
    [ "$REAL_REPLAYS" = 1 ] || return 0
    local line
    line=$("$GAME" --verify "$GOOD1" 2>&1)
    if ! grep -q ' round=[0-9a-f]\{64\} .*autoplay=' <<< "$line"; then
        echo "NOTE: the game's --verify gives no round identity yet ($line); the trust rules ran with the stand-in"
        return 0
    fi
    local craft
    craft=$(dirname "$GAME")/replay_craft
    [ -x "$craft" ] || { fail "real: no $craft to craft replays with (cmake --build build --target replay_craft)"; return; }
    start_board "real$kind" "$db" --submit-burst 100000 --trust-proxy
    local url_var=URL_real$kind
    local U=${!url_var}
    local from=(-H 'X-Forwarded-For: 198.51.100.7')
    local r=$WORK/real-$kind
    mkdir -p "$r"

    # Rounds a person could play: accepted, shown, no signs.
    post "$U" Rhea "$GOOD1" "${from[@]}"
    check "real: a human-like round: 201 ($BODY)" is 201
    check "real: a human-like round: no signs" bash -c '! grep -q "\"signs\":\[\"" <<< "$1"' _ "$BODY"
    local rhea rhea_key
    rhea=$(json_id)
    rhea_key=$(json_key)
    check "real: a human-like round: shown" soon shows_anywhere "$U" "$rhea" Rhea "$GOOD1_FLIES" "$GOOD1_SPEED"
    run_page_checks "$kind" "$U" "$rhea" "$GOOD1"
    post "$U" Rex "$GOOD3" "${from[@]}"
    check "real: another human-like round: 201, not held ($BODY)" is 201

    # Inputs no backend produces, each refused as invalid with its rule; nothing stored.
    local before
    before=$(db_sql "$kind" "$db" 'SELECT count(*) FROM runs')
    "$craft" "$GOOD2" "$r/offscreen.zrp" --offscreen 40 > /dev/null
    "$craft" "$GOOD2" "$r/presses.zrp" --presses 40 8 > /dev/null
    "$craft" "$GOOD2" "$r/future.zrp" --seed-ahead 90000 > /dev/null
    "$craft" "$GOOD2" "$r/flagged.zrp" --set-autoplay > /dev/null
    local what file code rule
    for what in "offscreen:invalid:screen" "presses:invalid:press" "future:invalid:a day after" "flagged:autoplay:"; do
        IFS=: read -r file code rule <<< "$what"
        [ -s "$r/$file.zrp" ] || { fail "real: replay_craft made no $file.zrp"; continue; }
        post "$U" Crafty "$r/$file.zrp" "${from[@]}"
        check "real: $file: 422 $code ($STATUS $BODY)" is 422 "$code"
        [ -z "$rule" ] || check "real: $file: the rule is named" grep -qi "\"rule\":\"[^\"]*$rule" <<< "$BODY"
    done
    # A round left on the results board longer than any player does: more frames than
    # its time allows, refused from its header (the verifier never says this).
    "$craft" "$GOOD2" "$r/long.zrp" --idle 217000 > /dev/null
    post "$U" Crafty "$r/long.zrp" "${from[@]}"
    check "real: frames beyond what its time allows: 422 invalid ($STATUS $BODY)" is 422 invalid
    check "real: frames beyond what its time allows: refused before verifying" body_has 'frames, more than a round of'
    local tomorrow=$(($(date +%s) + 2 * 86400))
    record_round "$r/tomorrow.zrp" "$tomorrow" > /dev/null
    post "$U" Later "$r/tomorrow.zrp" "${from[@]}"
    check "real: a round played with tomorrow's clock: 422 invalid ($BODY)" is 422 invalid
    record_round "$r/seventies.zrp" 86400 > /dev/null
    post "$U" Early "$r/seventies.zrp" "${from[@]}"
    check "real: a round played with a clock of 1970: 422 invalid ($BODY)" is 422 invalid
    check "real: ... the clock was wrong" body_has 'the clock of the machine it was played on was wrong'

    check "real: crafted rounds stored nothing" [ "$(db_sql "$kind" "$db" 'SELECT count(*) FROM runs')" = "$before" ]

    # The game's test player: flagged, refused; its flag cleared, held with its signs.
    local rec=$r/autoplay
    mkdir -p "$rec"
    ln -s "$SRC/bmp" "$rec/bmp"
    ln -s "$SRC/wave" "$rec/wave"
    printf '%s\n' "0 move 300 300" "3 click" "10 move 120 80" "12 click" "16 move 320 320" "18 click" \
        "1800 key escape" "1810 key escape" > "$rec/round.script"
    (cd "$rec" && "$GAME" --headless --autoplay --script round.script --time 1700007000 --frames 1900 > /dev/null)
    post "$U" Robot "$rec/replays/last.zrp" -H 'X-Forwarded-For: 198.51.100.66'
    check "real: the test player's round: 422 autoplay ($BODY)" is 422 autoplay
    "$craft" "$rec/replays/last.zrp" "$r/stripped.zrp" --clear-autoplay > /dev/null
    post "$U" Robot "$r/stripped.zrp" -H 'X-Forwarded-For: 198.51.100.66'
    check "real: the test player's round, its flag cleared: 202 held ($BODY)" is 202 held
    check "real: ... with its signs" body_has '"signs":\["'
    local stripped robot_key
    stripped=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    robot_key=$(json_key)
    python3 "$SRC/tests/e2e/human_round.py" "$GAME" "$SRC" "$r/bot.zrp" --time 1700007100 --machine > /dev/null ||
        fail "real: the bot's round was not played"
    post "$U" Robot "$r/bot.zrp" -H 'X-Forwarded-For: 198.51.100.66' -H "Authorization: Bearer $robot_key"
    check "real: a frame-perfect bot: 202 held ($BODY)" is 202 held
    check "real: ... with its signs" body_has '"signs":\["'
    local bot
    bot=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    check "real: held runs are not shown" soon hidden_everywhere "$U" "$stripped" Robot 10 2
    check "real: held runs are not shown (2)" soon hidden_everywhere "$U" "$bot" Robot 10 2
    admin held --url "$U"
    check "real: admin held lists both with their signs ($(head -3 "$WORK/admin.out"))" \
        [ "$(grep -c "signs: [a-z]" "$WORK/admin.out")" -ge 2 ]
    # The test player's round hurried by Enter, its flag cleared: held, and once approved
    # on the mode's board with Enter/Space, not on its board of rounds as dealt.
    printf '%s\n' "0 move 300 300" "3 click" "10 move 120 80" "12 click" "16 move 320 320" "18 click" \
        "60 key return" "90 key return" "1800 key escape" "1810 key escape" > "$rec/keys.script"
    rm -rf "$rec/replays"
    (cd "$rec" && "$GAME" --headless --autoplay --script keys.script --time 1700007200 --frames 1900 > /dev/null)
    "$craft" "$rec/replays/last.zrp" "$r/paced.zrp" --clear-autoplay > /dev/null
    post "$U" Pacer "$r/paced.zrp" -H 'X-Forwarded-For: 198.51.100.68'
    local paced
    paced=$(sed -n 's/.*"id":\([0-9]*\).*/\1/p' <<< "$BODY")
    admin approve "$paced" --reason "real: to see where it goes"
    check "real: a round hurried by Enter, approved: on the board with Enter/Space ($(cat "$WORK/admin.out"))" \
        soon url_has "$U/api/boards/10/2/keys" "\"id\":$paced,.*\"keys\":[1-9]"
    check "real: ... not on the mode's board of rounds as dealt" bash -c '! grep -q "\"id\":$1," <<< "$(curl -s "$2/api/boards/10/2?limit=200")"' _ "$paced" "$U"

    # One round, one run: other header text is the same round.
    "$craft" "$GOOD1" "$r/othertext.zrp" --program "not-zumble 9" > /dev/null
    check "real: other header text: other bytes" bash -c '! cmp -s "$1" "$2"' _ "$GOOD1" "$r/othertext.zrp"
    post "$U" Mallet "$r/othertext.zrp" -H 'X-Forwarded-For: 198.51.100.9'
    check "real: the same round with other header text under another name: 409 duplicate ($BODY)" is 409 duplicate
    check "real: the duplicate names run $rhea" body_has "\"run\":$rhea}"
    # Copies with other inputs and the same swats: one more click on the results board
    # before it takes clicks, and (where replay_craft makes them) the cursor a pixel over
    # in a frame without a press, the ticks a millisecond on after the clock stopped.
    local frames copy copies
    frames=$("$craft" --info "$GOOD1" | sed -n 's/^frames=//p')
    copies=("click:--presses $((frames - 54)) 1")
    "$craft" --help 2>&1 | grep -q -- '--nudge' && copies+=("pixel:--nudge 5" "tick:--ticks $((frames - 20)) 1")
    for copy in "${copies[@]}"; do
        # shellcheck disable=SC2086
        "$craft" "$GOOD1" "$r/${copy%%:*}.zrp" ${copy#*:} > /dev/null
        post "$U" Mallet "$r/${copy%%:*}.zrp" -H 'X-Forwarded-For: 198.51.100.9'
        check "real: the ${copy%%:*} copy under another name: 409 duplicate naming run $rhea ($BODY)" \
            eval 'is 409 duplicate && body_has "\"run\":$rhea}"'
    done
    # Copies within frames: a round played again from its script with one press a frame
    # earlier (the round's last swat, which makes its time 17 ms better, or one in the
    # middle, which keeps it) is that round to the board, under any name.
    record_round "$r/near.zrp" 1700009400 10 2 --script "$r/near.script" > /dev/null
    post "$U" Nora "$r/near.zrp" "${from[@]}"
    check "real: a round kept with its script: 201 ($BODY)" is 201
    local nora
    nora=$(json_id)
    mkdir -p "$r/near"
    ln -sf "$SRC/bmp" "$r/near/bmp"
    ln -sf "$SRC/wave" "$r/near/wave"
    # near_copy K OUT: the round replayed with its K-th press from the last a frame
    # earlier (1 leaves the board, 2 is the round's last swat); false when the round no
    # longer plays to its end (the press a frame earlier missed its fly).
    near_copy() {
        python3 - "$r/near.script" "$r/near/copy.script" "$1" <<'PY'
import sys
lines = [line.split(" ", 1) for line in open(sys.argv[1]).read().splitlines()]
downs = [i for i, (frame, what) in enumerate(lines) if what == "down"]
press = downs[-int(sys.argv[3])]
lines[press][0] = str(int(lines[press][0]) - 1)
lines.sort(key=lambda line: int(line[0]))  # stable: the press stays after its frame's moves
open(sys.argv[2], "w").write("".join(f"{frame} {what}\n" for frame, what in lines))
PY
        rm -rf "$r/near/replays"
        (cd "$r/near" && "$GAME" --headless --script copy.script --time 1700009400 \
            --frames $(($(tail -1 "$r/near.script" | cut -d" " -f1) + 150)) > /dev/null 2>&1)
        "$GAME" --verify "$r/near/replays/last.zrp" 2> /dev/null | grep -q '^ok ' &&
            cp "$r/near/replays/last.zrp" "$2"
    }
    near_copy 2 "$r/near-last.zrp" || fail "real: the round's last swat a frame earlier missed its fly"
    local k
    for k in 4 5 6 7 8 9; do near_copy "$k" "$r/near-middle.zrp" && break; done
    local which
    for which in last middle; do
        [ -s "$r/near-$which.zrp" ] || { fail "real: no round with its $which swat a frame earlier"; continue; }
        post "$U" Mallet "$r/near-$which.zrp" -H 'X-Forwarded-For: 198.51.100.9'
        check "real: the round with its $which swat a frame earlier under another name: 409 duplicate naming run $nora ($BODY)" \
            eval 'is 409 duplicate && body_has "\"run\":$nora}"'
    done

    # Names: a claimed one needs its key, a look-alike is the same name.
    post "$U" Rhea "$GOOD2" -H 'X-Forwarded-For: 198.51.100.9'
    check "real: Rhea's name without her key: 403 name_taken ($BODY)" is 403 name_taken
    post "$U" $'\xef\xbc\xb2\xef\xbd\x88\xef\xbd\x85\xef\xbd\x81' "$GOOD2" -H 'X-Forwarded-For: 198.51.100.9'
    check "real: a look-alike of Rhea: 403 name_taken ($BODY)" is 403 name_taken
    post "$U" Rhea "$GOOD2" "${from[@]}" -H "Authorization: Bearer $rhea_key"
    check "real: Rhea's second round with her key: 201 ($BODY)" is 201

    # Banned: a name and an address, each told with its reason (with rounds not yet sent).
    record_rounds "$r/fresh-%d.zrp" 1700008000 2
    "$BOARD" admin --db "$db" ban-name Rex --reason "real: impersonation" > "$WORK/admin.out" 2>&1
    check "real: ban-name: done" [ $? = 0 ]
    post "$U" Rex "$r/fresh-1.zrp" "${from[@]}"
    check "real: a banned name: 403 banned ($BODY)" is 403 banned
    check "real: a banned name: the reason" body_has '"what":"name","reason":"real: impersonation"}'
    "$BOARD" admin --db "$db" ban-address 198.51.100.66 --reason "real: a bot farm" > "$WORK/admin.out" 2>&1
    check "real: ban-address: done" [ $? = 0 ]
    post "$U" Robin "$r/fresh-2.zrp" -H 'X-Forwarded-For: 198.51.100.66'
    check "real: a banned address: 403 banned ($BODY)" is 403 banned
    check "real: a banned address: the reason" body_has '"what":"address","reason":"real: a bot farm"}'
    post "$U" Robin "$r/fresh-2.zrp" "${from[@]}"
    check "real: the same round from elsewhere: 201 ($BODY)" is 201
    local pid_var=PID_real$kind
    kill "${!pid_var}"
    wait "${!pid_var}" 2> /dev/null
}
