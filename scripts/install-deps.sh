#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages that the build and the tests need and
# that this machine does not have yet. Safe to run again: it says what it installs.
set -euo pipefail
packages=(
  g++ cmake make pkg-config
  libsdl2-dev libpng-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils x11-apps evilwm
  clang libclang-rt-14-dev
  python3
  dpkg-dev fakeroot lintian desktop-file-utils appstream man-db
  g++-mingw-w64-x86-64 wine wine64 zip
  emscripten nodejs chromium
  libcpp-httplib-dev libsqlite3-dev libpq-dev postgresql sqlite3 wrk curl
)
# npm comes with some builds of Node; Debian's own is a package of its own.
command -v npm > /dev/null || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything needed is installed"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
