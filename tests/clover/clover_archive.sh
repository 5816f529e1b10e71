#!/bin/sh
# Makes a Clover-like archive as Clover's build does (clover_pack.sh) from a tree with
# Clover's current EFI layout (drivers/UEFI, drivers/BIOS, drivers/off, tools, themes).
# Its x64 boot6 is BOOT-FILE with the revision line Clover writes into its own, so a stick
# made from it boots legacy into that file and the repository scan reads the revision;
# EFI/BOOT/BOOTX64.efi is EFI-LOADER when given (else a text stand-in). FORM: as
# clover_pack.sh takes it, lzma by default.
# Usage: clover_archive.sh BOOT-FILE REVISION OUT-FOLDER [FORM [EFI-LOADER]]
# Exit 77 when a tool is missing. Prints the archive's path.
set -eu
boot_file=$1
revision=$2
out=$3
form=${4:-lzma}
efi_loader=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree=$work/iso
clover=$tree/EFI/CLOVER
mkdir -p "$tree/EFI/BOOT" "$clover/drivers/UEFI" "$clover/drivers/BIOS" "$clover/drivers/off" \
    "$clover/kexts/Other" "$clover/tools" "$clover/themes/embedded" "$clover/doc" \
    "$tree/usr/standalone/i386/x64" "$tree/Library/Application Support/Clover"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>%s</dict></plist>\n' \
    "<key>Boot</key><dict><key>Timeout</key><integer>5</integer></dict>" >"$clover/config.plist"
printf 'Clover EFI r%s\n' "$revision" >"$clover/CLOVERX64.efi"
if [ -n "$efi_loader" ]; then
    cp "$efi_loader" "$tree/EFI/BOOT/BOOTX64.efi"
else
    cp "$clover/CLOVERX64.efi" "$tree/EFI/BOOT/BOOTX64.efi"
fi
for driver in UEFI/ApfsDriverLoader UEFI/Fat UEFI/FSInject BIOS/FSInject off/Ps2MouseDxe; do
    printf '%s driver\n' "$driver" >"$clover/drivers/$driver.efi"
done
printf 'shell\n' >"$clover/tools/Shell64U.efi"
printf 'theme\n' >"$clover/themes/embedded/theme.plist"
printf 'updater\n' >"$tree/Library/Application Support/Clover/CloverUpdaterUtility"
printf '64-bit boot\n' >"$tree/usr/standalone/i386/x64/boot7"
{ cat "$boot_file"; printf '\nClover revision: %s\n' "$revision"; } \
    >"$tree/usr/standalone/i386/x64/boot6"
for sector in boot0af boot1f32alt boot1xalt; do
    head -c 512 /dev/zero >"$tree/usr/standalone/i386/$sector"
done
# cdboot: its loader sector, then boot6 from the next 2 KiB on.
{ head -c 2048 /dev/zero; cat "$tree/usr/standalone/i386/x64/boot6"; } \
    >"$tree/usr/standalone/i386/cdboot"

"$(dirname "$0")/clover_pack.sh" "$tree" "$revision" "$out" "$form"
