#!/bin/sh
# The archiver as the program uses it: each 7-Zip command line it relies on and both
# unpack scripts, run against fixtures made here (a Clover-like ISO in each form Clover's
# build publishes it, by tests/clover/clover_pack.sh; a xar package holding a DMG whose HFS+ volume holds a DMG holding an HFS+
# partition). On Linux with 7zz and the sh scripts; under Wine with the cross-built
# 7z.exe + 7z.dll and the batch scripts in cmd. 7-Zip exits 0 when nothing matched, so
# every check looks for the files it expects.
# Usage: archiver_checks.sh linux FIXTURE-TOOL SCRIPTS [GROUP...]
#        archiver_checks.sh wine FIXTURE-TOOL SCRIPTS SEVENZIP-FOLDER [GROUP...]
#   FIXTURE-TOOL: the archive_fixture program of the Linux build; SCRIPTS: data/scripts;
#   GROUP: invocations, clover, recovery (default: all). Wine mode uses the caller's
#   WINEPREFIX. Both modes inspect results with Linux 7zz. Exit code 77 when a fixture
#   tool is missing.
set -u
mode=$1
fixture_tool=$2
scripts=$(cd "$3" && pwd)
shift 3
sevenzip_dir=""
if [ "$mode" = wine ]; then
    sevenzip_dir=$(cd "$1" && pwd)
    shift
fi
groups=${*:-invocations clover recovery}
for tool in 7zz xorriso genisoimage bsdtar xz; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing (Debian packages 7zip, xorriso, genisoimage, libarchive-tools)"
        exit 77
    fi
done
wine=$(command -v wine || echo /usr/lib/wine/wine64)
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

output=$scratch/output
: >"$output"
# shellcheck source=tests/check.sh
. "$here/../check.sh"
show_failure() { sed 's/^/    | /' "$output" | tail -n 15; }
says() { tr -d '\r' <"$output" | grep -qF "$1"; }
same() { cmp -s "$1" "$2"; }

# 7-Zip in the current folder with its output kept; sets status.
sevenzip() {
    if [ "$mode" = wine ]; then
        "$wine" "$sevenzip_dir/7z.exe" "$@" >"$output" 2>&1 </dev/null
    else
        7zz "$@" >"$output" 2>&1 </dev/null
    fi
    status=$?
}
# Windows 7-Zip takes backslashes.
if [ "$mode" = wine ]; then sep='\'; else sep=/; fi

# The archive's entries, one "path<TAB>method" line each; folders as "path/<TAB>".
zip_entries() {
    7zz l -slt "$1" | awk '
        function flush() { if (path != "") print (folder ? path "/\t" : path "\t" method) }
        /^Path = / { flush(); path = substr($0, 8); folder = 0; method = "" }
        /^Folder = \+/ { folder = 1 }
        /^Method = / { method = substr($0, 10) }
        END { flush() }'
}

fixtures=$scratch/fixtures
make_fixtures() {
    mkdir -p "$fixtures" && cd "$fixtures" || return 1

    # Clover: distinct, compressible files in Clover's layout; the El Torito image is
    # usr/standalone/i386/cdboot.
    tree=clover-tree
    mkdir -p $tree/EFI/BOOT $tree/EFI/CLOVER/drivers/UEFI $tree/EFI/CLOVER/drivers/off \
        $tree/usr/standalone/i386/ia32 $tree/usr/standalone/i386/x64
    lines() { yes "$1" | head -n 400; }
    lines "<key>Boot</key><dict><key>Timeout</key><integer>5</integer></dict>" \
        >$tree/EFI/CLOVER/config.plist
    lines "HFSPlus driver" >$tree/EFI/CLOVER/drivers/UEFI/HFSPlus.efi
    lines "mouse driver" >$tree/EFI/CLOVER/drivers/off/Ps2MouseDxe.efi
    lines "EFI loader" >$tree/EFI/BOOT/BOOTX64.efi
    lines "volume icon" >$tree/.VolumeIcon.icns
    for file in ia32/boot ia32/boot2 ia32/boot3 x64/boot3 x64/boot6 x64/boot7; do
        lines "$file" >$tree/usr/standalone/i386/$file
    done
    head -c 2048 /dev/urandom >$tree/usr/standalone/i386/cdboot
    pack() { sh "$here/../clover/clover_pack.sh" $tree 1234 "$@" >/dev/null; }
    pack . tar || return 1
    tar -xf CloverISO-1234.tar ./Clover-1234-X64.iso && mv Clover-1234-X64.iso clover.iso ||
        return 1
    xz --format=lzma -c CloverISO-1234.tar >CloverISO-1234.tar.lzma || return 1
    pack xz xz && pack 7z 7z || return 1
    # A 7z without an ISO image.
    lines "no image" >NoImage.txt && 7zz a -bso0 NoImage.iso.7z NoImage.txt || return 1

    # Recovery: BaseSystem.dmg holds an HFS+ partition; RecoveryHDMeta.dmg holds an HFS+
    # volume with BaseSystem.dmg; the package holds RecoveryHDMeta.dmg in a subfolder.
    mkdir -p base-tree/System/Library/CoreServices meta-tree package/RecoveryHDUpdate.pkg
    lines "<key>ProductVersion</key><string>10.11</string>" \
        >base-tree/System/Library/CoreServices/SystemVersion.plist
    head -c 300000 /dev/urandom >base-tree/System/Library/CoreServices/boot.efi
    xorriso -as mkisofs -quiet -hfsplus -V "OS X Base System" -o base.iso base-tree \
        2>/dev/null || return 1
    "$fixture_tool" hfs base.iso base.hfs || return 1
    "$fixture_tool" dmg meta-tree/BaseSystem.dmg Apple_HFS=base.hfs || return 1
    lines "chunk list" >meta-tree/BaseSystem.chunklist
    xorriso -as mkisofs -quiet -hfsplus -V "Recovery HD" -o meta.iso meta-tree \
        2>/dev/null || return 1
    "$fixture_tool" hfs meta.iso meta.hfs || return 1
    "$fixture_tool" dmg package/RecoveryHDUpdate.pkg/RecoveryHDMeta.dmg Apple_HFS=meta.hfs ||
        return 1
    lines "<installer-gui-script/>" >package/Distribution
    lines "<pkg-info/>" >package/RecoveryHDUpdate.pkg/PackageInfo
    xar() { bsdtar --format xar --options xar:toc-checksum=none -cf "$@"; }
    (cd package && xar ../RecoveryHDUpdate.pkg Distribution RecoveryHDUpdate.pkg) || return 1
    (cd package && xar ../NoMeta.pkg Distribution) || return 1
    # A package whose BaseSystem.dmg is no disk image.
    mkdir -p bad-tree bad-package
    lines "not a disk image" >bad-tree/BaseSystem.dmg
    xorriso -as mkisofs -quiet -hfsplus -V "Recovery HD" -o bad.iso bad-tree \
        2>/dev/null || return 1
    "$fixture_tool" hfs bad.iso bad.hfs || return 1
    "$fixture_tool" dmg bad-package/RecoveryHDMeta.dmg Apple_HFS=bad.hfs || return 1
    (cd bad-package && xar ../BadBase.pkg RecoveryHDMeta.dmg) || return 1
    echo "not a package" >NotXar.pkg
}

# A fresh working folder under a name with spaces, entered; the fixtures named are copied.
enter_work() {
    work="$scratch/work $1"
    shift
    mkdir -p "$work" && cd "$work" || exit 1
    for file in "$@"; do cp "$fixtures/$file" .; done
}

invocations() {
    enter_work invocations CloverISO-1234.tar.lzma RecoveryHDUpdate.pkg
    unpack=CloverISO-1234
    sevenzip e CloverISO-1234.tar.lzma -o"$unpack" '-i!*.tar'
    check "e .tar.lzma -o -i!*.tar writes the tar into the unpack folder" \
        same "$unpack/CloverISO-1234.tar" "$fixtures/CloverISO-1234.tar"
    sevenzip e "$unpack$sep*.tar" -o"$unpack" '-ai!*.tar' '*.iso' -r
    check "e *.tar -ai!*.tar *.iso -r writes the ISO out of the tar of \".\"" \
        same "$unpack/Clover-1234-X64.iso" "$fixtures/clover.iso"
    mkdir -p "$unpack/EFI/CLOVER" && echo stale >"$unpack/EFI/CLOVER/config.plist"
    sevenzip x "$unpack$sep*.iso" -o"$unpack" -y
    check "x *.iso -y exits 0" test "$status" -eq 0
    check "x *.iso writes the ISO's folders" same "$unpack/usr/standalone/i386/x64/boot6" \
        "$fixtures/clover-tree/usr/standalone/i386/x64/boot6"
    check "x *.iso -y overwrites an existing file without asking" \
        same "$unpack/EFI/CLOVER/config.plist" "$fixtures/clover-tree/EFI/CLOVER/config.plist"
    check "x *.iso writes the El Torito image into [BOOT]" \
        same "$unpack/[BOOT]/Boot-NoEmul.img" "$fixtures/clover-tree/usr/standalone/i386/cdboot"
    mkdir -p "$unpack/EFI/CLOVER/kexts/Other"
    (cd "$unpack" && sevenzip a -r -mx9 -tzip CloverISO-1234 '*' && exit "$status")
    zip_entries "$unpack/CloverISO-1234.zip" >"$scratch/entries" 2>"$output"
    check "a -r -mx9 -tzip NAME * makes NAME.zip" test -f "$unpack/CloverISO-1234.zip"
    check "the ZIP holds the files, compressed with Deflate" \
        grep -qx "EFI/CLOVER/config.plist	Deflate" "$scratch/entries"
    check "the ZIP holds empty folders" grep -qx "EFI/CLOVER/kexts/Other/	" "$scratch/entries"

    sevenzip e -w -r -txar -y -- "RecoveryHDUpdate.pkg" RecoveryHDMeta.dmg
    check "e -w -r -txar -y -- PACKAGE RecoveryHDMeta.dmg finds it in a subfolder" \
        same RecoveryHDMeta.dmg "$fixtures/package/RecoveryHDUpdate.pkg/RecoveryHDMeta.dmg"
    sevenzip e -w -r -y -- RecoveryHDMeta.dmg BaseSystem.dmg
    check "e -w -r -y -- RecoveryHDMeta.dmg BaseSystem.dmg reads the DMG's HFS+ volume" \
        same BaseSystem.dmg "$fixtures/meta-tree/BaseSystem.dmg"
    mkdir -p "out dir"
    sevenzip e -w -tdmg -o"out dir" -y -- BaseSystem.dmg '*.hfs'
    check "e -w -tdmg -o\"OUT\" -y -- DMG *.hfs writes the HFS+ partition" \
        same "out dir/2.hfs" "$fixtures/base.hfs"
    check "  and only it" test "$(ls "out dir")" = 2.hfs
    mkdir -p "dmg dir" "output folder"
    cp BaseSystem.dmg "dmg dir/Base System.dmg"
    sevenzip e -tdmg "dmg dir${sep}Base System.dmg" '*.hfs' -o"output folder"
    check "e -tdmg \"PATH WITH SPACES\" *.hfs -o\"FOLDER WITH SPACES\"" \
        same "output folder/2.hfs" "$fixtures/base.hfs"
    for dmg in BaseSystem.dmg RecoveryHDMeta.dmg; do
        sevenzip t "$dmg"
        check "$dmg from the fixture writer tests clean" \
            sh -c '[ "$1" -eq 0 ] && ! grep -Eqi "warning|error" "$2"' - "$status" "$output"
    done
    sevenzip e BaseSystem.dmg NoSuch.dmg
    check "nothing matched: exit code 0 and no file (so the files must be checked)" \
        sh -c '[ "$1" -eq 0 ] && [ ! -e NoSuch.dmg ]' - "$status"
}

# The folder a script is run from: the script, and the archiver beside it.
script_folder() {
    mkdir -p "$1"
    if [ "$mode" = wine ]; then
        cp "$scripts/$2" "$sevenzip_dir/7z.exe" "$sevenzip_dir/7z.dll" "$1/"
    else
        cp "$scripts/$2" "$1/"
    fi
}

# Runs a script with the arguments in the current folder; sets status.
run_script() {
    script=$1
    shift
    if [ "$mode" = wine ]; then
        "$wine" cmd /c "$(echo "$script" | tr / '\\')" "$@" >"$output" 2>&1 </dev/null
    else
        sh "$script" "$@" >"$output" 2>&1 </dev/null
    fi
    status=$?
}

clover() {
    if [ "$mode" = wine ]; then
        name=Unpack_Clover_ISO.bat usage=UnpackCloverISO.bat
    else
        name=unpack_clover_iso.sh usage=unpack_clover_iso.sh
    fi
    enter_work clover
    folder="SFK Temp 1234"
    script_folder "$folder" $name
    cp "$fixtures/CloverISO-1234.tar.lzma" "$folder/"
    if [ "$mode" = linux ]; then
        # 7zz beside the script, as the program unpacks it (its mode bits lost).
        printf '#!/bin/sh\necho "$*" >>"%s/calls"\nexec %s "$@"\n' "$work" \
            "$(command -v 7zz)" >"$folder/7zz"
        chmod 644 "$folder/7zz"
    fi

    run_script "$folder/$name"
    check "Clover script without an argument: exit code 1" test "$status" -eq 1
    check "  and the usage line" says "Usage: $usage CloverISO-XXXX.tar.lzma"
    run_script "$folder/$name" CloverISO-9999.tar.lzma
    check "Clover script with a missing archive: exit code 2" test "$status" -eq 2
    check "  and the not-found line" says 'File "CloverISO-9999.tar.lzma" not found'

    echo stale >stale.txt
    7zz a -tzip "$folder/CloverISO-1234.zip" stale.txt >/dev/null
    run_script "$folder/$name" CloverISO-1234.tar.lzma
    check "Clover script run from another folder, in a folder with spaces: exit code 0" \
        test "$status" -eq 0
    zip=$folder/CloverISO-1234.zip
    check "  CloverISO-1234.zip beside the script" test -f "$zip"
    [ "$mode" = linux ] &&
        check "  the 7zz beside the script ran" test "$(wc -l <calls)" -eq 4
    zip_entries "$zip" >entries 2>"$output"
    missing=""
    for empty in ACPI ACPI/origin ACPI/patched ACPI/WINDOWS drivers32UEFI kexts misc OEM \
        OEM/SystemProductName OEM/SystemProductName/ACPI OEM/SystemProductName/ACPI/origin \
        OEM/SystemProductName/ACPI/patched OEM/SystemProductName/ROM \
        OEM/SystemProductName/kexts OEM/SystemProductName/UEFI \
        OEM/SystemProductName/UEFI/ACPI OEM/SystemProductName/UEFI/ACPI/origin \
        OEM/SystemProductName/UEFI/ACPI/patched OEM/SystemProductName/UEFI/kexts \
        OEM/SystemProductName/UEFI/kexts/Other ROM; do
        grep -qx "EFI/CLOVER/$empty/	" entries || missing="$missing $empty"
    done
    check "  the ZIP holds Clover's 21 folders${missing:+ (missing:$missing)}" test -z "$missing"
    check "  config.plist compressed with Deflate" \
        grep -qx "EFI/CLOVER/config.plist	Deflate" entries
    check "  the ZIP holds the ISO's files, hidden ones too" \
        sh -c 'grep -q "^EFI/CLOVER/drivers/UEFI/HFSPlus.efi	" entries &&
            grep -q "^.VolumeIcon.icns	" entries'
    check "  no [BOOT], ISO or tar, nor the old ZIP's file" \
        sh -c '! grep -Eq "^\[BOOT\]|\.iso	|\.tar	|^stale\.txt" entries'
    mkdir -p check && 7zz x -ocheck "$zip" >"$output" 2>&1
    source_tree=$fixtures/clover-tree
    plist=$source_tree/EFI/CLOVER/config.plist
    oem=check/EFI/CLOVER/OEM/SystemProductName
    check "  config.plist copied to OEM/SystemProductName and its UEFI folder" \
        sh -c 'cmp -s "$1" "$2/config.plist" && cmp -s "$1" "$2/UEFI/config.plist"' - \
        "$plist" "$oem"
    boot=$source_tree/usr/standalone/i386
    check "  boot at the root is x64/boot6" same check/boot "$boot/x64/boot6"
    check "  boot3 at the root is the 64-bit one" same check/boot3 "$boot/x64/boot3"
    check "  ia32 and x64 boot files at the root" \
        sh -c 'cmp -s "$1/boot2" "$2/ia32/boot2" && cmp -s "$1/boot7" "$2/x64/boot7"' - \
        check "$boot"
    check "  the unpack folder is left for the caller" test -d "$folder/CloverISO-1234/EFI"

    # Every form Clover's build publishes: the Linux build's xz container named .lzma,
    # the GitHub release's ISO in a 7z; an archive without an image fails.
    for archive in xz/CloverISO-1234.tar.lzma 7z/Clover-1234-X64.iso.7z NoImage.iso.7z; do
        file=${archive#*/}
        pack=${file%.*}
        pack=${pack%????}
        rm -rf "$folder/$pack" "$folder/$pack.zip"
        cp "$fixtures/$archive" "$folder/"
        run_script "$folder/$name" "$file"
        if [ "$file" = NoImage.iso.7z ]; then
            check "Clover script on a 7z without an ISO image: exit code 3" test "$status" -eq 3
            check "  Extract Error and no ZIP" \
                sh -c 'grep -q "Extract Error" "$1" && [ ! -e "$2" ]' - "$output" "$folder/$pack.zip"
            continue
        fi
        check "Clover script on $archive: exit code 0" test "$status" -eq 0
        rm -rf check && mkdir -p check && 7zz x -ocheck "$folder/$pack.zip" >"$output" 2>&1
        check "  $pack.zip: boot is x64/boot6, with the EFI loader and drivers/off" \
            sh -c 'cmp -s check/boot "$1/usr/standalone/i386/x64/boot6" &&
                cmp -s check/EFI/BOOT/BOOTX64.efi "$1/EFI/BOOT/BOOTX64.efi" &&
                cmp -s check/EFI/CLOVER/drivers/off/Ps2MouseDxe.efi \
                    "$1/EFI/CLOVER/drivers/off/Ps2MouseDxe.efi" &&
                [ -d check/EFI/CLOVER/OEM/SystemProductName/UEFI/kexts/Other ] &&
                [ ! -e "check/[BOOT]" ]' - "$source_tree"
    done
}

recovery() {
    if [ "$mode" = wine ]; then name=Unpack_RecHDUpdate_pkg.bat; else name=unpack_rechdupdate_pkg.sh; fi
    enter_work recovery NotXar.pkg NoMeta.pkg BadBase.pkg
    script_folder . $name
    cp "$fixtures/RecoveryHDUpdate.pkg" "Recovery HD Update.pkg"

    run_script $name
    check "recovery script without an argument: exit code 1" test "$status" -eq 1
    check "  and the usage line" says "Usage: $name RecoveryHDUpdate.pkg"
    run_script $name Missing.pkg
    check "recovery script with a missing package: exit code 2" test "$status" -eq 2
    check "  and the not-found line" says 'Archive: "Missing.pkg" not found'
    run_script $name "Recovery HD Update.pkg" "no such folder"
    check "recovery script with a missing output folder: exit code 3" test "$status" -eq 3
    check "  and the not-found line" says 'Output Directory: "no such folder" not found'
    run_script $name NotXar.pkg
    check "recovery script on a file that is no package: exit code 4" test "$status" -eq 4
    check "  and Extract Error" says "Extract Error"
    run_script $name NoMeta.pkg
    check "recovery script on a package without RecoveryHDMeta.dmg: exit code 4" \
        test "$status" -eq 4

    cp "$fixtures/package/RecoveryHDUpdate.pkg/RecoveryHDMeta.dmg" .
    run_script $name NotXar.pkg
    check "  also when an earlier RecoveryHDMeta.dmg lies in the folder" test "$status" -eq 4
    mkdir -p "out dir"
    run_script $name BadBase.pkg "out dir"
    check "recovery script on a package whose BaseSystem.dmg is no DMG: exit code 4" \
        sh -c '[ "$1" -eq 4 ] && [ -z "$(ls "out dir")" ]' - "$status"

    rm -f RecoveryHDMeta.dmg BaseSystem.dmg
    run_script $name "Recovery HD Update.pkg" "out dir"
    check "recovery script into a folder with spaces: exit code 0" test "$status" -eq 0
    check "  the HFS+ partition as 2.hfs" same "out dir/2.hfs" "$fixtures/base.hfs"
    check "  no intermediate image left" \
        sh -c '[ ! -e RecoveryHDMeta.dmg ] && [ ! -e BaseSystem.dmg ]'
    7zz l "out dir/2.hfs" >"$output" 2>&1
    check "  2.hfs is the HFS+ volume" says "System/Library/CoreServices/SystemVersion.plist"
    run_script $name "Recovery HD Update.pkg"
    check "recovery script without an output folder writes into the current one" \
        sh -c '[ "$1" -eq 0 ] && cmp -s 2.hfs "$2"' - "$status" "$fixtures/base.hfs"
}

if ! make_fixtures >"$output" 2>&1; then
    cat "$output"
    echo "FAILED: making the fixtures"
    exit 1
fi
for group in $groups; do "$group"; done
finish
