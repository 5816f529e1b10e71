#!/bin/sh
# Sets up, builds and starts the program: the window when a display is there, otherwise
# the command-line tool with the given arguments (default: its version and settings).
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build
if [ -n "${DISPLAY:-}" ] && [ $# -eq 0 ]; then
    exec build/stickforge
fi
if [ $# -eq 0 ]; then
    build/stickforge-cli version
    exec build/stickforge-cli settings
fi
exec build/stickforge-cli "$@"
