# The counting checks of the shell tests (sourced): check DESCRIPTION COMMAND... runs the
# command and counts it; finish prints the tally and exits 1 when anything failed. A
# caller may define show_failure to print context after a failed check.
passes=0
failures=0
# The program's single-instance guard of this script's runs lives in its scratch folder:
# scripts running side by side, and a copy the user runs, never refuse each other.
if [ -n "${scratch:-}" ]; then
    STICKFORGE_LOCK_FOLDER=$scratch/locks
    export STICKFORGE_LOCK_FOLDER
fi

check() {
    description=$1
    shift
    if "$@"; then
        echo "ok: $description"
        passes=$((passes + 1))
    else
        echo "FAILED: $description"
        if command -v show_failure >/dev/null; then show_failure; fi
        failures=$((failures + 1))
    fi
}

finish() {
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
    exit $?
}
