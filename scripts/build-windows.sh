#!/bin/sh
# Cross-builds the Windows executables with MinGW-w64: the static libraries and 7-Zip
# (7z.exe + 7z.dll, packed into the program) first (once), then stickforge.exe and
# stickforge-cli.exe, statically linked and stripped, in the build folder (default
# build-win). Usage: scripts/build-windows.sh [build-folder]
# STICKFORGE_WIN_DEPS and STICKFORGE_WIN_7ZIP_DIR put the libraries and 7-Zip elsewhere
# (default: deps/ and 7zip/ in the build folder).
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-win}
scripts/install-packages.sh nlohmann-json3-dev  # header-only, shared with the Linux build
scripts/build-win-deps.sh "${STICKFORGE_WIN_DEPS:-$build/deps}"
sevenzip=${STICKFORGE_WIN_7ZIP_DIR:-$build/7zip}
scripts/build-win-7zip.sh "$sevenzip"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DSTICKFORGE_WIN_DEPS="$(cd "${STICKFORGE_WIN_DEPS:-$build/deps}" && pwd)" \
    -DSTICKFORGE_WIN_7ZIP_DIR="$(cd "$sevenzip" && pwd)" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "Windows executables: $build/stickforge.exe $build/stickforge-cli.exe"
