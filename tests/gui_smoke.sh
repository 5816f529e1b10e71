#!/bin/sh
# The real window under a virtual X server: start-up, the main, About, Configuration and
# calculator windows (kept as screenshots), the refusal of a second copy, and a normal
# exit through the Exit button.
# Usage: gui_smoke.sh EXECUTABLE ARTIFACT-FOLDER
set -u
if [ -z "${GUI_SMOKE_DISPLAY:-}" ]; then
    GUI_SMOKE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
built=$1
artifacts=$2
mkdir -p "$artifacts"
scratch=$(mktemp -d)
name=stickforge-smoke-$$
exe="$scratch/$name"
cp "$built" "$exe"
export STICKFORGE_REGISTRY="$scratch/registry"
autorun_key='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer'
cleanup() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# shellcheck source=tests/check.sh
. "$(dirname "$0")/check.sh"
# Waits up to 20 s for a visible window whose name matches; prints its id.
find_window() {
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -n "$id" ] && echo "$id" && return 0
        sleep 0.2
    done
    return 1
}
autorun() {
    grep -i "^$(printf '%s' "$autorun_key" | sed 's/\\/\\\\/g')	NoDriveTypeAutoRun	dword	" \
        "$STICKFORGE_REGISTRY" 2>/dev/null | cut -f4
}
geometry() {  # window id -> "X Y W H"
    xdotool getwindowgeometry --shell "$1" | awk -F= '{v[$1]=$2} END {print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]}'
}

"$exe" &
pid=$!
main=$(find_window "^Stickforge v2.1.2016.019 Beta by Ormund$")
check "main window opens with its title" test -n "$main"
[ -n "$main" ] || finish
sleep 1
import -window root "$artifacts/main-window.png"
set -- $(geometry "$main")
main_x=$1 main_y=$2 main_w=$3 main_h=$4
check "main window is 480 px wide" test "$main_w" -eq 480
check "main window is 265 px high below its menu bar" test "$main_h" -gt 265 -a "$main_h" -lt 300
menu_bar=$((main_h - 265))
check "AutoRun is off while running" test "$(autorun)" = 255

# A second copy is refused with its own name as the box title.
"$exe" &
second=$!
refusal=$(find_window "^$name\$")
check "second copy shows the refusal box" test -n "$refusal"
sleep 0.5
import -window root "$artifacts/second-instance.png"
[ -n "$refusal" ] && xdotool windowfocus --sync "$refusal" key Return
wait "$second"
check "second copy exits with 0" test $? -eq 0
check "second copy wrote no settings" test ! -e "$scratch/$name.ini"
check "AutoRun still off" test "$(autorun)" = 255

# The command-line tool beside the window: a verb that writes stops at once, one that
# prints runs.
cli="$scratch/$name-cli"
cp "$(dirname "$built")/stickforge-cli" "$cli"
"$cli" settings --save 2>"$scratch/cli-refusal"
check "a writing CLI verb stops while the window runs" test $? -eq 1
check "and says why" grep -q "is running already" "$scratch/cli-refusal"
check "it wrote no settings" test ! -e "$scratch/$name.ini"
for verb in version "recovery online" "recovery list"; do
    # shellcheck disable=SC2086 # a verb and its action
    check "the printing CLI verb $verb runs beside the window" "$cli" $verb
done

# Help > About through the menu bar: click the title, then the item.
xdotool mousemove $((main_x + 110)) $((main_y + menu_bar / 2)) click 1
sleep 0.5
xdotool key a
about=$(find_window "^About$")
check "About window opens from the Help menu" test -n "$about"
sleep 0.5
import -window root "$artifacts/about-window.png"
if [ -n "$about" ]; then
    set -- $(geometry "$about")
    check "About window is 400 x 380" test "$3" -eq 400 -a "$4" -eq 380
    xdotool mousemove $(($1 + 108 + 90)) $(($2 + 352 + 10)) click 1
    sleep 0.5
    check "About closes with OK" test -z "$(xdotool search --onlyvisible --name '^About$')"
fi

# Options > Configuration and Tools > FixDSDT Calculator: each kept as a screenshot, each
# closed with its OK button (client coordinates from their tables).
open_dialog() {  # menu title x, item key, window title, width, height, OK x, OK y, picture
    xdotool mousemove $((main_x + $1)) $((main_y + menu_bar / 2)) click 1
    sleep 0.5
    xdotool key "$2"
    dialog=$(find_window "^$3\$")
    check "$3 opens from the menu" test -n "$dialog"
    [ -n "$dialog" ] || return
    sleep 0.5
    import -window root "$artifacts/$8.png"
    set -- "$@" $(geometry "$dialog")
    check "$3 is $4 x $5" test "${11}" -eq "$4" -a "${12}" -eq "$5"
    xdotool mousemove $((${9} + $6)) $((${10} + $7)) click 1
    sleep 0.5
    check "$3 closes with OK" test -z "$(xdotool search --onlyvisible --name "^$3\$")"
}
open_dialog 20 c Configuration 275 465 137 443 configuration-window
check "closing the configuration saved the settings" test -f "$scratch/$name.ini"
open_dialog 65 f "Clover FixDsdtMask Calculator" 535 400 267 383 calculator-window

# Exit: client (60, 218) lies inside the button.
xdotool mousemove $((main_x + 60)) $((main_y + menu_bar + 218)) click 1
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
wait "$pid"
status=$?
pid=
check "Exit ends the program with 0" test "$status" -eq 0
check "settings written beside the executable" test -f "$scratch/$name.ini"
check "settings keep the window position" grep -q "WinX = $main_x" "$scratch/$name.ini"
check "AutoRun absent again after exit (it was absent)" test -z "$(autorun)"
finish
