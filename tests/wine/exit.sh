# What the exit leaves behind, sourced by wine_smoke.sh (its wine, probe, autorun, policies,
# title and scratch): the AutoRun value when it was absent or of another type at start, and
# the window position saved while the window is minimised.

# Starts the program, waits for its window, runs the given step, then closes the window.
run_and_close() {
    (cd "$scratch/app" && exec "$wine" stickforge.exe) 2>/dev/null &
    running=$!
    probe wait "$title" || return 1
    "$@"
    probe close "$title"
    wait "$running"
}
autorun_type() {
    "$wine" reg query "$policies" /v NoDriveTypeAutoRun 2>/dev/null | tr -d '\r' |
        awk '$1 == "NoDriveTypeAutoRun" { print $2, $3 }'
}
autorun_while_running() { seen_autorun=$(autorun); }

"$wine" reg delete "$policies" /v NoDriveTypeAutoRun /f >/dev/null 2>&1
run_and_close autorun_while_running
check "absent AutoRun: off while running" test "$seen_autorun" = 0xff
check "absent AutoRun: absent again after exit (0 would switch it on)" test -z "$(autorun_type)"

"$wine" reg add "$policies" /v NoDriveTypeAutoRun /t REG_SZ /d ff /f >/dev/null 2>&1
run_and_close autorun_while_running
check "AutoRun of another type: left as found" test "$(autorun_type)" = "REG_SZ ff"

# The seed file puts the window at 300, 200.
run_and_close probe minimise "$title"
check "closed while minimised: the window's restored position is saved" \
    grep -q "WinX = 300" "$scratch/app/stickforge.ini"
grep "WinX\|WinY" "$scratch/app/stickforge.ini" | tr -d '\r' | sed 's/^/  saved: /'
