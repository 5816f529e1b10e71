#!/bin/sh
# Installs what the Linux build and its tests need (Debian 12), then builds.
# Usage: scripts/setup.sh [build-folder]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}

packages="build-essential cmake pkg-config libfltk1.3-dev libzip-dev liblzma-dev zlib1g-dev
  libpcre2-dev libexpat1-dev libcurl4-openssl-dev libgtest-dev xvfb xauth xdotool imagemagick
  x11-utils"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    as_root=""
    [ "$(id -u)" -eq 0 ] || as_root=sudo
    $as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -qq --no-install-recommends $missing
fi

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"
