#!/bin/sh
# The Windows executables under Wine, in a private prefix under a virtual X server:
# start-up and the main window (kept as a screenshot), the settings file written at exit
# against the Linux build's, the refusal of a second copy (also of the CLI's writing verbs),
# the AutoRun policy, the CLI and its system disk guard, the error report, the
# Win32 toolkit, disk layer, format service and packed resources checks, and 7-Zip
# (WINDOWS-BUILD/7zip, or $STICKFORGE_WIN_7ZIP_DIR) with the two batch scripts in cmd.
# Usage: wine_smoke.sh WINDOWS-BUILD LINUX-BUILD ARTIFACT-FOLDER
set -u
if [ -z "${WINE_SMOKE_DISPLAY:-}" ]; then
    WINE_SMOKE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
windows_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
artifacts=$3
mkdir -p "$artifacts"
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
cleanup() {
    "$wineserver" -k 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# shellcheck source=tests/check.sh
. "$(dirname "$0")/check.sh"
probe() { "$wine" "$windows_build/window_probe.exe" "$@" 2>/dev/null; }
policies='HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer'
autorun() {
    "$wine" reg query "$policies" /v NoDriveTypeAutoRun 2>/dev/null | tr -d '\r' |
        awk '$1 == "NoDriveTypeAutoRun" { print $3 }'
}

"$wine" wineboot -i >/dev/null 2>&1
"$wineserver" -w

# The same settings on both sides: a file the Linux CLI writes with values off the defaults.
mkdir -p "$scratch/linux" "$scratch/app"
cp "$linux_build/stickforge-cli" "$scratch/linux/"
cp "$windows_build/stickforge.exe" "$windows_build/stickforge-cli.exe" "$scratch/app/"
"$scratch/linux/stickforge-cli" --set WinX=300 --set WinY=200 --set BootPartitionSize=500 \
    --set FileSystem=NTFS settings --save
cp "$scratch/linux/stickforge.ini" "$scratch/app/stickforge.ini"
cp "$scratch/linux/stickforge.ini" "$scratch/seed.ini"

"$scratch/linux/stickforge-cli" version >"$scratch/linux-version"
(cd "$scratch/app" && "$wine" stickforge-cli.exe version) >"$scratch/windows-version" 2>/dev/null
check "CLI version prints what the Linux CLI prints" cmp -s "$scratch/linux-version" \
    "$scratch/windows-version"
"$scratch/linux/stickforge-cli" settings >"$scratch/linux-settings"
(cd "$scratch/app" && "$wine" stickforge-cli.exe settings) >"$scratch/windows-settings" \
    2>/dev/null
check "CLI settings prints what the Linux CLI prints" cmp -s "$scratch/linux-settings" \
    "$scratch/windows-settings"

# The version resource of both executables, as the file properties read it.
version=$(sed -n 's/^project(stickforge VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
(cd "$scratch/app" && "$wine" "$windows_build/version_reader.exe" stickforge.exe \
    stickforge-cli.exe) 2>/dev/null | tr -d '\r' >"$scratch/versions"
for exe in stickforge.exe stickforge-cli.exe; do
    for line in "fixed $version" "ProductName=Stickforge" "ProductVersion=$version" \
        "FileVersion=$version" "OriginalFilename=$exe"; do
        check "$exe version resource: $line" grep -qx "$exe	$line" "$scratch/versions"
    done
    check "$exe version resource has a description" grep -q "^$exe	FileDescription=..." \
        "$scratch/versions"
done

# Wine shows a disk but no stick, so the list may be empty; it must not fail.
(cd "$scratch/app" && "$wine" stickforge-cli.exe list) >/dev/null 2>&1
check "CLI list runs" test $? -eq 0
# Wine's one disk reports no drive type, so no line can be formatted: the press must be
# refused with a reason, before anything is opened.
(cd "$scratch/app" && "$wine" stickforge-cli.exe --yes --set EnableFixedDisks=1 format \
    '\\.\PhysicalDrive0') >/dev/null 2>"$scratch/format-refusal"
check "CLI format of a disk outside the list is refused" test $? -eq 1
check "the refusal says why" grep -q "not in the drive list" "$scratch/format-refusal"
(cd "$scratch/app" && "$wine" stickforge-cli.exe image create stick.img 64M) >/dev/null 2>&1
image="$scratch/app/stick.img"
check "CLI image create makes a file of the size asked" \
    test "$(stat -c %s "$image" 2>/dev/null)" = 67108864
allocated=$(stat -c '%b * %B' "$image" 2>/dev/null || echo 67108864)
check "the image file is sparse" test $(($allocated)) -lt 67108864

"$wine" reg add "$policies" /v NoDriveTypeAutoRun /t REG_DWORD /d 145 /f >/dev/null 2>&1
title="Stickforge v2.1.2016.019 Beta by Ormund"
(cd "$scratch/app" && exec "$wine" stickforge.exe) 2>/dev/null &
first=$!
check "main window opens with its title" probe wait "$title"
sleep 2
import -window root "$artifacts/windows-main-window.png"
check "AutoRun is off while running" test "$(autorun)" = 0xff

(cd "$scratch/app" && exec "$wine" stickforge.exe) 2>/dev/null &
second=$!
check "second copy shows the refusal box" probe wait stickforge.exe
probe texts stickforge.exe >"$scratch/refusal"
check "the refusal is in Russian" grep -q "Программа уже запущена." "$scratch/refusal"
sleep 1
import -window root "$artifacts/windows-second-instance.png"
probe press stickforge.exe OK
wait "$second"
check "second copy exits with 0" test $? -eq 0
check "second copy left the settings alone" cmp -s "$scratch/seed.ini" "$scratch/app/stickforge.ini"
check "second copy left AutoRun off" test "$(autorun)" = 0xff

# The command-line tool beside the window: a verb that writes stops at once, one that
# prints runs.
(cd "$scratch/app" && "$wine" stickforge-cli.exe settings --save) >/dev/null \
    2>"$scratch/cli-refusal"
check "a writing CLI verb stops while the window runs" test $? -eq 1
check "and says why" grep -q "is running already" "$scratch/cli-refusal"
check "it left the settings alone" cmp -s "$scratch/seed.ini" "$scratch/app/stickforge.ini"
(cd "$scratch/app" && "$wine" stickforge-cli.exe version) >/dev/null 2>&1
check "a printing CLI verb runs beside the window" test $? -eq 0

probe press "$title" Exit
wait "$first"
check "Exit ends the program with 0" test $? -eq 0
check "AutoRun restored" test "$(autorun)" = 0x91
check "settings file at exit is the Linux build's, byte for byte" cmp "$scratch/seed.ini" \
    "$scratch/app/stickforge.ini"

# shellcheck source=tests/wine/exit.sh
. "$repo/tests/wine/exit.sh"
# shellcheck source=tests/wine/system_disk.sh
. "$repo/tests/wine/system_disk.sh"
# shellcheck source=tests/wine/faults.sh
. "$repo/tests/wine/faults.sh"

# A check program of the build, with its arguments: its failures and notes shown, its
# summary line judged.
run_checks() {
    description=$1
    output="$scratch/$2.out"
    program="$windows_build/$2.exe"
    shift 2
    "$wine" "$program" "$@" 2>/dev/null | tr -d '\r' >"$output"
    grep -v " passed, " "$output"
    check "$description ($(tail -n 1 "$output"))" grep -q " 0 failed" "$output"
}
run_checks "Win32 toolkit checks" ui_win32_check
run_checks "Win32 disk checks" disks_win32_check
run_checks "Win32 format service checks" format_win32_check
run_checks "Win32 packed resources and tool runs checks" resources_win32_check
. "$repo/tests/wine/flush.sh"
. "$repo/tests/wine/imaging.sh"

check "WinINet downloads" sh "$repo/tests/wine/downloads.sh" "$wine" "$windows_build"

# 7-Zip's command lines and the unpack scripts, on fixtures the Linux build's tool makes.
archiver="$scratch/archiver.out"
sh "$repo/tests/archiver/archiver_checks.sh" wine "$linux_build/tests/archiver/archive_fixture" \
    "$repo/data/scripts" "${STICKFORGE_WIN_7ZIP_DIR:-$windows_build/7zip}" >"$archiver" 2>&1
grep -v -e "^ok: " -e " passed, " "$archiver"
check "7-Zip and the batch scripts ($(tail -n 1 "$archiver"))" grep -q " 0 failed" "$archiver"
. "$repo/tests/wine/script_exit_codes.sh"
. "$repo/tests/wine/tools.sh"

# The "DL" data set through WinINet, 7z.exe and the batch script, against a mirror.
clover="$scratch/clover.out"
sh "$repo/tests/wine/clover.sh" "$windows_build" "$linux_build" >"$clover" 2>&1
grep -v -e "^ok: " -e " passed, " "$clover"
check "The Clover data set download ($(tail -n 1 "$clover"))" grep -q " 0 failed" "$clover"

# Recovery HD list, package and DMG extraction, and the Download Tool window.
recovery="$scratch/recovery.out"
sh "$repo/tests/wine/recovery.sh" "$windows_build" "$linux_build" "$artifacts" >"$recovery" 2>&1
grep -v -e "^ok: " -e " passed, " "$recovery"
check "Recovery HD downloads ($(tail -n 1 "$recovery"))" grep -q " 0 failed" "$recovery"
finish
