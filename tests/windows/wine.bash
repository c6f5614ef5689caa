# Shared set-up of the Windows tests: the game's programs under Wine, in a fresh prefix of
# their own, on a private X server, with a silent ALSA device. Sourced with the folder
# of the Windows build, the source tree and the Linux build's game:
#   . wine.bash BUILD_WINDOWS SRC LINUX_ZUMBLE
# A MessageBox would wait for a click forever: every run of a program has a time limit.
BUILD_WINDOWS=$(realpath "$1")
LINUX_ZUMBLE=$(realpath "$3")
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/common.bash" "$LINUX_ZUMBLE" "$2"
for tool in wine wineserver Xvfb xdotool xwd python3; do
    command -v $tool > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
WINE=$(command -v wine64 || command -v wine)

# The prefix and a home of the test's own: nothing of the machine's Wine set-up is used,
# nothing is left behind.
export WINEPREFIX="$WORK/prefix" HOME="$WORK/home"
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
mkdir -p "$HOME"
# DirectSound needs a device: ALSA's null one takes the sound and plays nothing.
printf 'pcm.!default { type null }\n' > "$HOME/.asoundrc"

# start_wine [desktop]: a private X server and a fresh prefix. With "desktop", Wine shows
# its windows in one 640x480 desktop (which DirectDraw's 640x480 mode needs, on a screen of
# that size); without it, each window is an X window of its own on a larger screen.
start_wine() {
    if [ "${1:-}" = desktop ]; then start_xvfb 640x480x24; else start_xvfb 1600x1200x24; fi
    trap 'wineserver -k 2>/dev/null; kill $XVFB ${GAME:-} 2>/dev/null; rm -rf "$WORK"' EXIT
    # A fresh prefix's wineboot has now and then given up at once on a busy machine: once
    # more, with what it said, before the test gives up.
    if ! timeout 120 wineboot -i > wineboot.log 2>&1; then
        echo "wineboot failed once ($(tail -c 300 wineboot.log)); again"
        wineserver -k 2> /dev/null
        timeout 120 wineboot -i > wineboot.log 2>&1 || { echo "FAIL: wineboot: $(tail -c 600 wineboot.log)"; exit 1; }
    fi
    # The GDI renderer runs steadily without a GPU.
    cat > settings.reg <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Direct3D]
"renderer"="gdi"
REG
    if [ "${1:-}" = desktop ]; then
        cat >> settings.reg <<'REG'

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="640x480"
REG
    fi
    timeout 60 "$WINE" regedit /S settings.reg
    # Registry changes count once the server has started again.
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}

# data_folder DIR [FILE...]: a scratch copy of bmp/ and wave/ in DIR without the FILEs.
data_folder() {
    local dir=$1
    shift
    mkdir -p "$dir"
    cp -r "$SRC/bmp" "$SRC/wave" "$dir/"
    for f in "$@"; do rm -f "$dir/$f"; done
}

# game_folder DIR [FILE...]: data_folder DIR without the FILEs, and zumble.exe in it.
game_folder() {
    data_folder "$@"
    cp "$BUILD_WINDOWS/zumble.exe" "$1/"
}

# start_window SECONDS [OPTION...]: zumble.exe of this folder started, at most SECONDS,
# with its trace in t.txt and its output in out.txt and err.txt; the game in $GAME, its
# window in $win (empty when none came up).
start_window() {
    local seconds=$1
    shift
    timeout "$seconds" "$WINE" zumble.exe --trace t.txt "$@" > out.txt 2> err.txt &
    GAME=$!
    win=$(find_window)
}

# The value of the last trace line's key (the game's trace file in $1).
last() { tail -1 "$1" 2>/dev/null | field "$2"; }

# wait_for FILE KEY VALUE: until the trace's last line has KEY=VALUE (30 s at most: Wine
# on a busy machine can take that long to show a screen).
wait_for() {
    for _ in $(seq 300); do
        [ "$(last "$1" "$2")" = "$3" ] && return 0
        sleep 0.1
    done
    return 1
}

# wait_exit: the game's exit code, or 124 when it did not end within 20 s.
wait_exit() {
    for _ in $(seq 200); do kill -0 "$GAME" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$GAME" 2>/dev/null; then
        kill "$GAME"
        GAME=""
        return 124
    fi
    wait "$GAME"
    local code=$?
    GAME=""
    return $code
}
