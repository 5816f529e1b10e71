# The error report under Wine, sourced by wine_smoke.sh (its wine, autorun, policies and
# scratch): faults of the first thread and of a worker, a stack overflow on each and an
# exception nothing caught, each reported before the process ends, AutoRun put back.
faults="$scratch/faults"
mkdir -p "$faults"
# A fault nobody reports may leave the child hanging: the bound ends it as a failure.
fault_report() {  # kind: runs the child; its output in $faults/KIND, its exit in $status
    timeout 300 "$wine" "$windows_build/fault_child.exe" "$1" "Z:$(echo "$faults" | tr / '\\')" \
        >"$faults/$1.raw" 2>&1 </dev/null
    status=$?
    tr -d '\r' <"$faults/$1.raw" >"$faults/$1"
}
for fault in "stack:Stack overflow" "worker-stack:Stack overflow" "worker-segv:Invalid memory access" \
    "worker-throw:Unknown error code"; do
    kind=${fault%%:*}
    "$wine" reg add "$policies" /v NoDriveTypeAutoRun /t REG_DWORD /d 145 /f >/dev/null 2>&1
    fault_report "$kind"
    check "$kind: reported" grep -q "A program error was detected:" "$faults/$kind"
    check "$kind: the process ends as failed" test "$status" -ne 0
    check "$kind: as ${fault#*:}" grep -q "^Error Message:   ${fault#*:}" "$faults/$kind"
    check "$kind: AutoRun put back" test "$(autorun)" = 0x91
done
