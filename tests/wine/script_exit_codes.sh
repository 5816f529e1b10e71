# Sourced by wine_smoke.sh: Unpack_RecHDUpdate_pkg.bat in cmd ends with "Extract Error"
# and code 4 whichever of its three archiver calls fails, with whatever non-zero code;
# a crashed archiver ends with a negative one (0xC0000005 is -1073741819 to cmd).
exit_codes="$scratch/exit codes"
mkdir -p "$exit_codes/out"
cp "$repo/data/scripts/Unpack_RecHDUpdate_pkg.bat" "$exit_codes/"
cp "$windows_build/failing_archiver.exe" "$exit_codes/7z.exe"
echo package >"$exit_codes/Recovery.pkg"
# Sets status.
run_recovery_script() {
    rm -f "$exit_codes/calls.txt"
    (cd "$exit_codes" && STICKFORGE_FAIL_CALL=$1 STICKFORGE_FAIL_CODE=$2 \
        "$wine" cmd /c Unpack_RecHDUpdate_pkg.bat Recovery.pkg out) >"$scratch/exit-codes.raw" \
        2>/dev/null
    status=$?
    tr -d '\r' <"$scratch/exit-codes.raw" >"$scratch/exit-codes.out"
}
run_recovery_script 0 0
check "recovery script with every archiver call ending 0: exit code 0" test "$status" -eq 0
missed=""
for call in 1 2 3; do
    for code in 1 2 255 -1 0xC0000005 0x80000000; do
        run_recovery_script "$call" "$code"
        [ "$status" -eq 4 ] && grep -q "Extract Error" "$scratch/exit-codes.out" ||
            missed="$missed call $call code $code (exit $status);"
    done
done
check "recovery script stops with Extract Error and 4 on every failing call${missed:+:$missed}" \
    test -z "$missed"
