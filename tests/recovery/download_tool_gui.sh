#!/bin/sh
# The Download Tool window of the FLTK build under a virtual X server: opened by "DL HD
# Recovery", its size and place beside the main window, a screenshot, and "Cancel" found
# where the table puts it.
# Usage: download_tool_gui.sh EXECUTABLE ARTIFACT-FOLDER
set -u
if [ -z "${GUI_SMOKE_DISPLAY:-}" ]; then
    GUI_SMOKE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
built=$1
artifacts=$2
mkdir -p "$artifacts"
scratch=$(mktemp -d)
exe="$scratch/stickforge-tool-$$"
cp "$built" "$exe"
export STICKFORGE_REGISTRY="$scratch/registry"
cleanup() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
# shellcheck source=tests/check.sh
. "$(dirname "$0")/../check.sh"
find_window() {
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -n "$id" ] && echo "$id" && return 0
        sleep 0.2
    done
    return 1
}
geometry() {
    xdotool getwindowgeometry --shell "$1" |
        awk -F= '{v[$1]=$2} END {print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]}'
}

"$exe" &
pid=$!
main=$(find_window "^Stickforge v2.1.2016.019 Beta by Ormund$")
check "main window opens" test -n "$main"
[ -n "$main" ] || finish
sleep 1
set -- $(geometry "$main")
main_x=$1 main_y=$2 menu_bar=$(($4 - 265))
# "DL HD Recovery" at 355, 160, 100 x 26.
xdotool mousemove $((main_x + 405)) $((main_y + menu_bar + 173)) click 1
tool=$(find_window "^Download Tool - Stickforge v2.1.2016.019 Beta by Ormund$")
check "DL HD Recovery opens the Download Tool with its title" test -n "$tool"
[ -n "$tool" ] || finish
sleep 0.5
import -window root "$artifacts/download-tool-fltk.png"
set -- $(geometry "$tool")
check "the Download Tool is 440 x 95" test "$3" -eq 440 -a "$4" -eq 95
check "  placed 20 right of and 30 below the main window" \
    test "$1" -eq $((main_x + 20)) -a "$2" -eq $((main_y + 30))
# "Cancel" at 20, 65, 70 x 20.
xdotool mousemove $(($1 + 55)) $(($2 + 75)) click 1
sleep 0.5
check "Cancel sits where the table puts it and closes the window" \
    test -z "$(xdotool search --onlyvisible --name '^Download Tool - ' 2>/dev/null)"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
pid=
finish
