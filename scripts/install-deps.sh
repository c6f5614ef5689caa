#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages that one purpose needs and that this machine
# does not have yet. Safe to run again: it says what it installs, or that nothing is missing.
#   scripts/install-deps.sh PURPOSE...        install what PURPOSE needs (default: test)
#   scripts/install-deps.sh --list PURPOSE... print the package names, one a line
# Purposes (each make target asks for its own):
#   play     build and start the game (make play, make assets, scripts/screenshots.sh)
#   bench    the benchmarks and the timedemo figures (make bench)
#   package  the Debian package and its checks (make package)
#   windows  the Windows programs, cross-built, and their tests under Wine (make windows)
#   web      the browser build (make web, make play-web)
#   fuzz     the fuzz programs, built with clang (scripts/run-fuzz.sh)
#   board    the best-times server and its database
#   clip     video clips of replays (zumble --replay FILE --clip OUT.webm)
#   test     everything make test runs: all of the above, the window tests and the page's
set -euo pipefail

purpose_packages() {
  case "$1" in
    play)    echo g++ cmake make pkg-config libsdl2-dev libpng-dev ;;
    # present-bench.sh's windows under Xvfb, full screen with a small window manager.
    bench)   purpose_packages play
             echo libbenchmark-dev xvfb xauth xdotool evilwm ;;
    package) purpose_packages play
             echo dpkg-dev fakeroot lintian desktop-file-utils appstream man-db ;;
    # The Windows build's tests compare with the Linux game, so that is built too.
    windows) purpose_packages play
             echo g++-mingw-w64-x86-64 wine wine64 zip xvfb xauth xdotool x11-apps python3 ;;
    # gzip and brotli write the page's compressed copies (cmake/web_site.cmake).
    web)     echo cmake make python3 emscripten nodejs gzip brotli ;;
    # Clips: VP9 (libvpx) and Opus (libopus) in WebM, the picture to YUV
    # (libyuv) and the mix to Opus's 48 kHz (the resampler of libspeexdsp).
    clip)    purpose_packages play
             echo libvpx-dev libopus-dev libyuv-dev libspeexdsp-dev ;;
    fuzz)    purpose_packages play
             echo clang libclang-rt-14-dev ;;
    # ICU for the players' names (Unicode normal forms, case folding, confusables);
    # libcrypto (libssl-dev) for the HMAC, the constant-time compare and base64;
    # nlohmann/json for the answers' JSON; libsystemd's sd_notify tells systemd the server
    # is ready, stopping and alive (its watchdog); jing checks the board's feed against the Atom
    # format's RELAX NG schema (its Java also runs the Nu HTML checker, from tests/web's npm ci, on
    # the run pages); dpkg-dev (CPack's dpkg-shlibdeps), lintian and man-db make
    # and check the board's package; wrk and nginx-light for its bench (board/bench/, the
    # board's reads beside a static server's) and for two boards behind nginx in its tests;
    # prometheus-cpp-dev for its /metrics (the registry and the text format), and
    # prometheus for their tests (promtool checks an answer, a real Prometheus scrapes the
    # board); brotli for the tests of /play/'s compressed files; zlib gzips the board's
    # own pages and JSON.
    board)   purpose_packages play
             echo libboost-dev libcpp-httplib-dev libsqlite3-dev libpq-dev libicu-dev libssl-dev \
                  nlohmann-json3-dev libsystemd-dev prometheus-cpp-dev postgresql sqlite3 wrk curl \
                  jing prometheus zlib1g-dev
             echo dpkg-dev lintian man-db nginx-light brotli ;;
    # The union, and what only the tests use: GoogleTest, clang-format (the C++ layout
    # check), the real window driven by xdotool (x11-utils: xwininfo; x11-apps: xwd), ALSA's
    # null device through Python, and the page in headless Chromium (its test modules come
    # with npm).
    test)    for p in play bench package windows web fuzz board clip; do purpose_packages "$p"; done
             echo libgtest-dev libgmock-dev x11-utils x11-apps python3 chromium clang-format
             # npm comes with some builds of Node; Debian's own is a package of its own.
             command -v npm > /dev/null || echo npm ;;
    *)       return 1 ;;
  esac
}

list=0
if [ "${1:-}" = --list ]; then
  list=1
  shift
fi
[ $# -gt 0 ] || set -- test
packages=()
for purpose in "$@"; do
  if ! names=$(purpose_packages "$purpose"); then
    echo "install-deps: unknown purpose '$purpose' (play, bench, package, windows, web, fuzz, board, clip, test)" >&2
    exit 2
  fi
  for p in $names; do
    case " ${packages[*]:-} " in *" $p "*) ;; *) packages+=("$p") ;; esac
  done
done
if [ $list = 1 ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything $* needs is installed"
  exit 0
fi
# apt-get's and dpkg's lines (several for each of a few hundred packages on a new
# machine) go to a log, shown when something fails.
log=$(mktemp /tmp/zumble-install-deps-XXXXXX.log)
echo "install-deps: installing for $*: ${missing[*]} (log: $log)"
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! { $sudo_cmd apt-get update -qq &&
       $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"; } > "$log" 2>&1; then
  tail -n 30 "$log"
  echo "install-deps: apt-get failed; the whole log is $log" >&2
  exit 1
fi
echo "install-deps: done"
rm -f "$log"
