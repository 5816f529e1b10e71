#!/bin/sh
# Turns a Clover ISO archive into a Clover data set ZIP; the steps, argument and exit
# codes of Unpack_Clover_ISO.bat.
# Usage: sh unpack_clover_iso.sh CloverISO-XXXX.tar.lzma
#   The archive lies in this script's folder: CloverISO-XXXX.tar.lzma (a tar holding the
#   ISO image, compressed as LZMA-alone or in an xz container) or an ISO image in a 7z,
#   such as Clover-XXXX-X64.iso.7z. The ISO image is unpacked into the folder named as the
#   archive less its last two extensions (CloverISO-XXXX), completed with Clover's empty
#   folders, the OEM copies of config.plist and the boot files at its root, then packed as
#   that name .zip (Deflate, level 9) into this script's folder. The unpack folder is left
#   for the caller to delete.
# Exit codes: 0 done, 1 no archive named, 2 archive not found, 3 no ISO image could be
# unpacked from the archive or the ZIP could not be made ("Extract Error").
# The archiver is 7zz beside this script when it can run there (the program unpacks it
# there; a folder mounted noexec lets it not), else 7zz on the PATH. Its wildcards are
# quoted: 7-Zip expands them, not the shell.
cd -- "$(dirname -- "$0")" || exit 2
chmod u+x 7zz 2>/dev/null
if [ -f 7zz ] && [ -x 7zz ]; then
    sevenzip=$(pwd)/7zz
else
    sevenzip=7zz
fi

usage() {
    echo "Usage: unpack_clover_iso.sh CloverISO-XXXX.tar.lzma"
    exit 1
}
[ -n "${1:-}" ] || usage
if [ ! -e "$1" ]; then
    echo "File \"$1\" not found"
    exit 2
fi
# The file name less its last extension and the four characters of ".tar" (or ".iso").
pack_name=$(basename -- "$1")
pack_name=${pack_name%.*}
[ "${#pack_name}" -gt 4 ] || usage
pack_name=${pack_name%????}
unpack_dir=$pack_name

for folder in ACPI ACPI/origin ACPI/patched ACPI/WINDOWS drivers32UEFI kexts misc OEM \
    OEM/SystemProductName OEM/SystemProductName/ACPI OEM/SystemProductName/ACPI/origin \
    OEM/SystemProductName/ACPI/patched OEM/SystemProductName/ROM \
    OEM/SystemProductName/kexts OEM/SystemProductName/UEFI \
    OEM/SystemProductName/UEFI/ACPI OEM/SystemProductName/UEFI/ACPI/origin \
    OEM/SystemProductName/UEFI/ACPI/patched OEM/SystemProductName/UEFI/kexts \
    OEM/SystemProductName/UEFI/kexts/Other ROM; do
    mkdir -p "$unpack_dir/EFI/CLOVER/$folder"
done

extract_error() {
    echo "Extract Error"
    exit 3
}

# The tar or the ISO image out of the archive, the ISO image out of a tar, then the
# ISO's contents. 7-Zip exits 1 on warnings (an xz stream named .lzma is one).
"$sevenzip" e "$1" -o"$unpack_dir" '-ir!*.tar' '-ir!*.iso'
[ $? -le 1 ] || extract_error
if [ -n "$(find "$unpack_dir" -maxdepth 1 -type f -name '*.tar')" ]; then
    "$sevenzip" e "$unpack_dir/*.tar" -o"$unpack_dir" '-ai!*.tar' '*.iso' -r
    [ $? -le 1 ] || extract_error
fi
find "$unpack_dir" -type f -name '*.tar' -exec rm -f {} +
[ -n "$(find "$unpack_dir" -maxdepth 1 -type f -name '*.iso')" ] || extract_error
"$sevenzip" x "$unpack_dir/*.iso" -o"$unpack_dir" -y
[ $? -le 1 ] || extract_error
find "$unpack_dir" -type f -name '*.iso' -exec rm -f {} +
rm -rf "$unpack_dir/[BOOT]"

# The OEM copies of config.plist; the boot files at the root, 64-bit over 32-bit.
cd "$unpack_dir" || exit 2
oem=EFI/CLOVER/OEM/SystemProductName
cp -f EFI/CLOVER/config.plist "$oem/config.plist" 2>/dev/null
cp -f EFI/CLOVER/config.plist "$oem/UEFI/config.plist" 2>/dev/null
for file in usr/standalone/i386/ia32/boot* usr/standalone/i386/x64/boot*; do
    [ -f "$file" ] && cp -f "$file" .
done
cp -f usr/standalone/i386/x64/boot6 boot 2>/dev/null

# Everything in the folder, folders included, into CloverISO-XXXX.zip beside this script.
"$sevenzip" a -r -mx9 -tzip "$pack_name" '*' || extract_error
mv -f "$pack_name.zip" .. || extract_error
cd ..
exit 0
