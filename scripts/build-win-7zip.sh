#!/bin/sh
# Cross-builds the Windows 7-Zip console archiver (7z.exe) and its codec library (7z.dll)
# from Debian's 7zip source package with MinGW-w64, 64-bit and stripped. A folder that
# already holds both files is kept.
# Usage: scripts/build-win-7zip.sh [folder]
#   folder: the argument, else build-win/7zip in the source tree.
# Runs as root: it installs the cross compiler and fetches the source with apt-get.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$repo/build-win/7zip}
host=x86_64-w64-mingw32
release=bookworm
export DEBIAN_FRONTEND=noninteractive

if [ -f "$out/7z.exe" ] && [ -f "$out/7z.dll" ]; then
    echo "Windows 7-Zip already in $out"
    exit 0
fi

# shellcheck source=scripts/source-packages.sh
. "$repo/scripts/source-packages.sh"

# Builds one 7-Zip makefile folder (relative to CPP/7zip) with the MinGW compiler:
# no assembler (asmc is not packaged) and no RAR codec (removed from Debian's source).
make_part() {
    (cd "$source/CPP/7zip/$1" &&
        quiet make -j "$(nproc)" -f ../../cmpl_gcc_x64.mak IS_MINGW=1 MSYSTEM=1 \
            CROSS_COMPILE="$host-" RC="$host-windres" USE_ASM= DISABLE_RAR=1)
}

mkdir -p "$out"
out=$(cd "$out" && pwd)
start_source_work
quiet "$repo/scripts/install-packages.sh" g++-mingw-w64-x86-64-posix make dpkg-dev
source=$(fetch 7zip)

echo "Building 7-Zip for Windows (a few minutes)"
make_part UI/Console
make_part Bundles/Format7zF
for file in UI/Console/b/g_x64/7z.exe Bundles/Format7zF/b/g_x64/7z.dll; do
    quiet "$host-strip" -o "$out/$(basename "$file")" "$source/CPP/7zip/$file"
done
echo "Windows 7-Zip in $out"
