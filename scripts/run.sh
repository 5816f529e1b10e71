#!/bin/sh
# Sets up, builds and runs the program's main job: as root, the demo (a virtual disk
# formatted with a Clover-like data set and booted in QEMU). Otherwise, or with "gui",
# the window when a display is there; any other arguments go to stickforge-cli.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build
if [ "${1:-}" = gui ]; then
    exec build/stickforge
fi
if [ $# -gt 0 ]; then
    exec build/stickforge-cli "$@"
fi
if [ "$(id -u)" -eq 0 ]; then
    exec scripts/demo.sh build
fi
if [ -n "${DISPLAY:-}" ]; then
    exec build/stickforge
fi
build/stickforge-cli version
exec build/stickforge-cli list
