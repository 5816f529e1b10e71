#!/bin/sh
# Sets up, builds and runs every test. Usage: scripts/test.sh
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build
cd build
ctest --output-on-failure -j "$(nproc)"
