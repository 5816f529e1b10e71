#!/bin/sh
# Sets up, builds and runs every test: the Linux build and its tests, then the Windows
# cross-build and its smoke tests under Wine. Usage: scripts/test.sh
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)
stage() {
    now=$(date +%s)
    echo "== $1 (at $((now - started)) s)"
}

stage "Linux build"
scripts/setup.sh build
stage "Linux tests"
(cd build && ctest --output-on-failure -j "$(nproc)")
stage "Soak, one run"
scripts/soak.sh 1
stage "Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer"
scripts/sanitize.sh address build-asan
stage "Fuzz targets, 20 s each"
FUZZ_JOBS=2 scripts/fuzz.sh 20 build-asan
stage "Thread tests under ThreadSanitizer"
scripts/sanitize.sh thread build-tsan
stage "Windows build"
scripts/build-windows.sh build-win
stage "Windows tests under Wine"
scripts/install-packages.sh wine wine64 fonts-wine
tests/wine_smoke.sh build-win build build/artifacts/windows
stage "Packages from both builds, and the Debian package installed"
scripts/package.sh build build-win build/packages
tests/package/install_test.sh build/packages/stickforge_*_amd64.deb || [ $? -eq 77 ]
stage "done"
