#!/bin/sh
# Installs what the Linux build and its tests need (Debian 12), then builds.
# Usage: scripts/setup.sh [build-folder]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}

packages="build-essential cmake pkg-config libfltk1.3-dev libzip-dev liblzma-dev zlib1g-dev libbz2-dev
  libpcre2-dev libexpat1-dev libcurl4-openssl-dev libgtest-dev xvfb xauth xdotool imagemagick
  x11-utils libblkid-dev dosfstools exfatprogs exfat-fuse ntfs-3g udftools mtools nasm
  qemu-system-x86 ovmf grub-efi-amd64-bin fdisk 7zip xorriso genisoimage libarchive-tools
  libssl-dev nlohmann-json3-dev
  python3 openssl curl man-db bsdextrautils
  clang libclang-rt-14-dev perl"
scripts/install-packages.sh $packages

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"
