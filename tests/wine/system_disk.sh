# The system disk guard of the command-line tool, sourced by wine_smoke.sh (its wine,
# windows_build and scratch): the tool built on a stand-in disk 0, a fixed disk holding the
# system drive C:, refuses to format it and to restore onto it, and leaves it untouched.
standin="$scratch/standin"
mkdir -p "$standin"
cp "$windows_build/standin/stickforge-cli.exe" "$standin/"
head -c 1048576 /dev/zero >"$standin/image.bin"
standin_cli() {  # output (CR removed) in $standin/out, exit in $status
    (cd "$standin" && "$wine" stickforge-cli.exe --set EnableFixedDisks=1 --yes "$@") \
        >"$standin/raw" 2>&1 </dev/null
    status=$?
    tr -d '\r' <"$standin/raw" >"$standin/out"
}

standin_cli list
check "the stand-in disk is listed with the system drive" grep -q "^1	  Part1: .*C:$" "$standin/out"
standin_cli format 0
check "format of the system drive's disk fails" test "$status" -eq 1
check "with the system drive refusal" grep -q "You selected a System Drive." "$standin/out"
check "and leaves the disk untouched and mounted" \
    grep -q "^stand-in disk 0: untouched, mounted, 0 locks$" "$standin/out"
standin_cli restore 1 image.bin
check "restore onto the system drive fails" test "$status" -eq 1
check "with the refusal of write access" \
    grep -q "WARNING - write access to System Drive disabled!" "$standin/out"
check "and leaves the disk untouched and mounted" \
    grep -q "^stand-in disk 0: untouched, mounted, 0 locks$" "$standin/out"
