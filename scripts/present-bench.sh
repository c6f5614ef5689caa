#!/usr/bin/env bash
# What showing the picture costs in a real window without a GPU (Xvfb): the game on its
# title in a window at --scale 1, 2, 3 and 4 (on a 2560x1920 screen) and full screen on
# 1920x1080 and 3840x2160 screens. For each, over one span of SECONDS after a second of
# warm-up, in the same run:
#   game ms/frame  CPU time of the game process (utime + stime from /proc) per frame shown;
#   X ms/frame     the same for the X server, which copies the picture to its screen;
#   frames/s       frames over the game's own ticks, from its --trace.
# Full screen needs a window manager (evilwm, a small one) to size the window to the screen.
# A report, not a test: it never judges the figures, and where the game shows no frames it
# says so in the table and goes on (the end-to-end tests judge that). ZUMBLE_PRESENT in the environment is passed on to the game (its choice of
# presentation path); PRESENT_PATHS="auto surface renderer" measures each in turn.
# usage: scripts/present-bench.sh ZUMBLE [SECONDS]
set -u
zumble=$(realpath "$1")
span=${2:-5}
src=$(cd "$(dirname "$0")/.." && pwd)
for tool in Xvfb xdotool evilwm; do
    command -v $tool > /dev/null || { echo "present-bench: $tool is not installed, skipped"; exit 0; }
done
work=$(mktemp -d /tmp/zumble-present-XXXXXX)
xvfb=""
wm=""
game=""
trap 'kill $game $wm $xvfb 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
ln -s "$src/bmp" "$work/bmp"
ln -s "$src/wave" "$work/wave"
cd "$work"
hz=$(getconf CLK_TCK)

start_screen() {  # start_screen WxH [wm]: a private X server of that size as $DISPLAY
    [ -n "$wm" ] && { kill $wm; wait $wm 2>/dev/null; wm=""; }
    [ -n "$xvfb" ] && { kill $xvfb; wait $xvfb 2>/dev/null; }
    rm -f display.txt
    Xvfb -displayfd 3 -screen 0 "${1}x24" -nolisten tcp -noreset 3> display.txt 2> xvfb.log &
    xvfb=$!
    for _ in $(seq 50); do [ -s display.txt ] && break; sleep 0.1; done
    [ -s display.txt ] || { echo "present-bench: Xvfb did not start, skipped"; exit 0; }
    export DISPLAY=":$(cat display.txt)"
    if [ "${2:-}" = wm ]; then
        evilwm -fn fixed > wm.log 2>&1 &
        wm=$!
        sleep 0.5
    fi
}

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }  # comm has no spaces
# "frame tick" of the last whole line of the trace (it is flushed a line at a time).
last_frame() { tail -2 t.txt | head -1 | sed -n 's/^frame=\([0-9]*\) tick=\([0-9]*\).*/\1 \2/p'; }

measure() {  # measure LABEL SCREEN OPTIONS...
    local label=$1 screen=$2
    shift 2
    rm -f t.txt
    SDL_AUDIODRIVER=dummy "$zumble" "$@" --trace t.txt 2> err.txt &
    game=$!
    for _ in $(seq 100); do
        [ -f t.txt ] && [ "$(wc -l < t.txt)" -ge 3 ] && break
        kill -0 $game 2>/dev/null || break
        sleep 0.1
    done
    kill -0 $game 2>/dev/null && sleep 1
    local geometry
    geometry=$(xdotool search --name '^Zumble$' getwindowgeometry 2>/dev/null | sed -n 's/.*Geometry: //p' | head -1)
    local c0 x0 f0 c1 x1 f1
    c0=$(cpu_ticks $game); x0=$(cpu_ticks $xvfb); f0=$(last_frame)
    sleep "$span"
    c1=$(cpu_ticks $game); x1=$(cpu_ticks $xvfb); f1=$(last_frame)
    kill -TERM $game 2>/dev/null
    wait $game 2>/dev/null
    game=""
    if [ -z "$f0" ] || [ -z "$f1" ]; then
        printf '%-22s %-10s  no frames shown: %s\n' "$label" "$screen" "$(head -c 200 err.txt | tr '\n' ' ')"
        return
    fi
    awk -v l="$label" -v s="$screen" -v g="${geometry:-?}" -v hz="$hz" -v c="$((c1 - c0))" -v x="$((x1 - x0))" \
        -v f0="$f0" -v f1="$f1" 'BEGIN {
            split(f0, a, " "); split(f1, b, " "); n = b[1] - a[1]; t = b[2] - a[2]
            if (n <= 0 || t <= 0) { printf "%-22s %-10s  no frames in the span\n", l, s; exit 1 }
            printf "%-22s %-10s %-10s %8.2f %8.2f %9.2f\n", l, s, g, c * 1000 / hz / n, x * 1000 / hz / n, n * 1000 / t
        }'
}

for path in ${PRESENT_PATHS:-${ZUMBLE_PRESENT:-auto}}; do
    if [ "$path" = auto ]; then unset ZUMBLE_PRESENT; else export ZUMBLE_PRESENT=$path; fi
    echo "== presentation under Xvfb, $span s a configuration, path: $path, load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    printf '%-22s %-10s %-10s %8s %8s %9s\n' configuration screen window "game ms" "X ms" frames/s
    start_screen 2560x1920
    for scale in 1 2 3 4; do measure "window --scale $scale" 2560x1920 --window --scale $scale; done
    start_screen 1920x1080 wm
    measure "full screen" 1920x1080 --fullscreen
    start_screen 3840x2160 wm
    measure "full screen" 3840x2160 --fullscreen
done
exit 0
