# Sourced by wine_smoke.sh: both batch scripts in cmd end with "Extract Error" whichever
# of their archiver calls fails, a crash included: a crashed archiver ends with a negative
# code (0xC0000005 is -1073741819 to cmd). The Clover script takes 1, 7-Zip's
# warning, as success. A stand-in archiver fails the chosen call and writes nothing, so the
# files the calls would leave are laid out beforehand.
exit_codes="$scratch/exit codes"
mkdir -p "$exit_codes/out"
cp "$repo/data/scripts/Unpack_RecHDUpdate_pkg.bat" "$repo/data/scripts/Unpack_Clover_ISO.bat" \
    "$exit_codes/"
cp "$windows_build/failing_archiver.exe" "$exit_codes/7z.exe"
echo package >"$exit_codes/Recovery.pkg"
echo archive >"$exit_codes/CloverISO-1234.tar.lzma"
# Runs the script with the arguments, failing call $1 with code $2; sets status.
run_failing() {
    call=$1 code=$2
    shift 2
    rm -f "$exit_codes/calls.txt"
    mkdir -p "$exit_codes/CloverISO-1234"
    echo iso >"$exit_codes/CloverISO-1234/Clover.iso"
    echo zip >"$exit_codes/CloverISO-1234/CloverISO-1234.zip"
    (cd "$exit_codes" && STICKFORGE_FAIL_CALL=$call STICKFORGE_FAIL_CODE=$code \
        "$wine" cmd /c "$@") >"$scratch/exit-codes.raw" 2>/dev/null
    status=$?
    tr -d '\r' <"$scratch/exit-codes.raw" >"$scratch/exit-codes.out"
}
# Each archiver call crashing (0xC0000005), and failures with -1 and 2, must end with
# Extract Error and the exit code given. Wine starts each run slowly: few runs.
missed_failures() {
    expected=$1
    shift
    missed=""
    for failure in 1:0xC0000005 2:0xC0000005 3:0xC0000005 1:-1 3:2; do
        call=${failure%%:*} code=${failure#*:}
        run_failing "$call" "$code" "$@"
        [ "$status" -eq "$expected" ] && grep -q "Extract Error" "$scratch/exit-codes.out" ||
            missed="$missed call $call code $code (exit $status);"
    done
    echo "$missed"
}

run_failing 0 0 Unpack_RecHDUpdate_pkg.bat Recovery.pkg out
check "recovery script with every archiver call ending 0: exit code 0" test "$status" -eq 0
run_failing 1 1 Unpack_RecHDUpdate_pkg.bat Recovery.pkg out
check "recovery script with an archiver call ending 1: exit code 4" test "$status" -eq 4
missed=$(missed_failures 4 Unpack_RecHDUpdate_pkg.bat Recovery.pkg out)
check "recovery script stops with Extract Error and 4 on every failing call${missed:+:$missed}" \
    test -z "$missed"

run_failing 0 0 Unpack_Clover_ISO.bat CloverISO-1234.tar.lzma
check "Clover script with every archiver call ending 0: exit code 0" test "$status" -eq 0
run_failing 2 1 Unpack_Clover_ISO.bat CloverISO-1234.tar.lzma
check "Clover script takes a warning (1) as success" test "$status" -eq 0
missed=$(missed_failures 3 Unpack_Clover_ISO.bat CloverISO-1234.tar.lzma)
check "Clover script stops with Extract Error and 3 on every failing call${missed:+:$missed}" \
    test -z "$missed"
