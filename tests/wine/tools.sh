# Sourced by wine_smoke.sh: the HFS+ driver verbs on Wine's registry and system folder,
# and the Configuration and calculator windows (kept as screenshots, their controls'
# rectangles compared with the dialogs' layout tables).
tools_app="$scratch/tools-app"
mkdir -p "$tools_app"
cp "$windows_build/stickforge.exe" "$windows_build/stickforge-cli.exe" "$tools_app/"
tools_cli() { (cd "$tools_app" && "$wine" stickforge-cli.exe "$@") 2>&1 | tr -d '\r'; }
services='HKLM\SYSTEM\CurrentControlSet\services'
drivers="$WINEPREFIX/drive_c/windows/system32/drivers"
service_key() { "$wine" reg query "$services\\$1" >/dev/null 2>&1; }
no_service_key() { ! service_key "$1"; }
remove_fails() {
    (cd "$tools_app" && "$wine" stickforge-cli.exe hfs-drivers remove) >/dev/null 2>&1
    test $? -eq 1
}

check "HFS+ drivers start not installed" test "$(tools_cli hfs-drivers status)" = "not installed"
(cd "$tools_app" && "$wine" stickforge-cli.exe hfs-drivers install) </dev/null \
    >"$scratch/hfs-decline" 2>&1
check "declining the install is no success" test $? -eq 1
check "and is told as declined, not as a failed install" \
    sh -c "grep -q 'install declined' '$scratch/hfs-decline' && ! grep -q 'Failed' '$scratch/hfs-decline'"
check "declining leaves no service" no_service_key AppleHFS
tools_cli --yes hfs-drivers install >"$scratch/hfs-install"
if grep -q "Failed to install HFS+ drivers." "$scratch/hfs-install"; then
    # The build carries no driver files: the install must fail and take its keys back.
    check "a failed install leaves no AppleHFS service" no_service_key AppleHFS
    check "nor an AppleMNT service" no_service_key AppleMNT
else
    check "install puts AppleHFS.sys into the drivers folder" test -f "$drivers/AppleHFS.sys"
    check "install says it is installed" test "$(tools_cli hfs-drivers status)" = "installed"
    tools_cli hfs-drivers remove >"$scratch/hfs-remove"
    check "remove after install succeeds" grep -q "restart" "$scratch/hfs-remove"
fi
check "removing what is not there fails" remove_fails

# One driver present with file and service key counts as installed; removal deletes both
# keys with their subkeys and the files.
"$wine" reg add "$services\\AppleHFS" /v Start /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$wine" reg add "$services\\AppleHFS\\Enum" /v Count /t REG_DWORD /d 1 /f >/dev/null 2>&1
"$wine" reg add "$services\\AppleMNT" /v Start /t REG_DWORD /d 0 /f >/dev/null 2>&1
mkdir -p "$drivers" && echo driver >"$drivers/AppleHFS.sys"
check "a driver file with its service key counts as installed" \
    test "$(tools_cli hfs-drivers status)" = "installed"
tools_cli hfs-drivers remove >"$scratch/hfs-remove"
check "removal reports the restart" grep -q "To complete the remove HFS drivers" "$scratch/hfs-remove"
check "removal deletes the AppleHFS key with its subkeys" no_service_key AppleHFS
check "removal deletes the AppleMNT key" no_service_key AppleMNT
check "removal deletes the driver file" test ! -e "$drivers/AppleHFS.sys"
check "drivers are not installed after removal" \
    test "$(tools_cli hfs-drivers status)" = "not installed"

# Each line: x y w h and the text of a control, as the dialog's table places it. Combo
# boxes keep the height Windows gives them, so only their place and width are compared.
compare_rects() {  # window title, expected file
    probe rects "$1" | tr -d '\r' >"$scratch/rects"
    missing=0
    while IFS='	' read -r want text; do
        set -f  # the "*" of a combo box's height is no file pattern
        set -- $want
        set +f
        if ! awk -F'\t' -v x="$1" -v y="$2" -v w="$3" -v h="$4" -v t="$text" '
            { split($1, r, " ") }
            r[1] == x && r[2] == y && r[3] == w && (h == "*" || r[4] == h) && $3 == t { found = 1 }
            END { exit !found }' "$scratch/rects"; then
            echo "not at $want: \"$text\""
            missing=1
        fi
    done
    return $missing
}

(cd "$tools_app" && exec "$wine" stickforge.exe) 2>/dev/null &
tools_program=$!
probe wait "$title" >/dev/null
probe command "$title" 510  # Options > &Configuration...
check "Configuration opens from the Options menu" probe wait Configuration
sleep 1
import -window root "$artifacts/windows-configuration-window.png"
check "Configuration controls sit where the table puts them" compare_rects Configuration <<'ROWS'
5 5 265 170	Clover Bootloader Source
15 25 40 21	Local
15 55 35 20	DL
15 146 80 20	Not Install
60 25 125 *	
60 55 55 *	
120 57 140 15	Checked: Not Checked
30 85 110 20	Check at Startup
30 115 100 20	Save after DL
180 115 65 20	Local Repo
180 85 65 20	Check Now
5 175 265 205	Format options
15 190 110 135	Boot records
30 210 60 20	Clover
30 240 75 20	Windows
30 270 45 20	XPC
30 300 80 20	Not Format
145 190 75 15	Volume label
145 210 100 20	CLOVER
145 240 100 *	FAT32-LBA
145 270 100 *	Default
145 300 100 *	4096
15 325 245 50	Multi Partitioning
30 345 145 20	Boot Partition Size (MB)
5 380 265 45	Other
30 395 120 20	Enable Fixed Disks
180 395 65 20	Local Repo
46 433 183 20	OK
ROWS
probe press Configuration OK
check "Configuration closes with OK" probe gone Configuration

probe command "$title" 512  # Tools > &FixDSDT Calculator for Clover
calculator="Clover FixDsdtMask Calculator"
check "the calculator opens from the Tools menu" probe wait "$calculator"
sleep 1
import -window root "$artifacts/windows-calculator-window.png"
check "the calculator's first row and its two columns" compare_rects "$calculator" <<'ROWS'
15 35 125 20	AddDTGP
15 335 125 20	HDA
155 35 125 20	NewWay
155 55 125 20	DARWIN
155 335 125 20	Not yet used
ROWS
probe texts "$calculator" | tr -d '\r' >"$scratch/calculator"
check "the calculator shows the mask in hexadecimal" grep -q "	0x87E7FBF1$" "$scratch/calculator"
probe press "$calculator" OK
check "the calculator closes with OK" probe gone "$calculator"
probe press "$title" Exit
wait "$tools_program"
check "the program ends with 0 after both dialogs" test $? -eq 0
