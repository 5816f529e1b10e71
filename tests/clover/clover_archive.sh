#!/bin/sh
# Makes a Clover-like ISO archive as the project publishes it: CloverISO-REVISION.tar.lzma
# holding a tar holding an ISO image with the EFI tree, the boot files and an El Torito
# image. Its x64 boot6 is BOOT-FILE with the revision line Clover writes into its own, so
# a stick made from it boots into that file and the repository scan reads the revision.
# Usage: clover_archive.sh BOOT-FILE REVISION OUT-FOLDER
# Needs xorriso, tar and xz; exit 77 when one is missing.
set -eu
boot_file=$1
revision=$2
out=$3
for tool in xorriso tar xz; do
    if ! command -v "$tool" >/dev/null; then
        echo "clover_archive.sh: $tool is missing (Debian packages xorriso, tar, xz-utils)" >&2
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree=$work/iso
mkdir -p "$tree/EFI/BOOT" "$tree/EFI/CLOVER/drivers64UEFI" "$tree/EFI/CLOVER/themes/embedded" \
    "$tree/usr/standalone/i386/ia32" "$tree/usr/standalone/i386/x64"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>%s</dict></plist>\n' \
    "<key>Boot</key><dict><key>Timeout</key><integer>5</integer></dict>" \
    >"$tree/EFI/CLOVER/config.plist"
printf 'Clover EFI r%s\n' "$revision" >"$tree/EFI/CLOVER/CLOVERX64.efi"
cp "$tree/EFI/CLOVER/CLOVERX64.efi" "$tree/EFI/BOOT/BOOTX64.efi"
printf 'HFSPlus driver\n' >"$tree/EFI/CLOVER/drivers64UEFI/HFSPlus-64.efi"
printf 'theme\n' >"$tree/EFI/CLOVER/themes/embedded/theme.plist"
printf '32-bit boot\n' >"$tree/usr/standalone/i386/ia32/boot3"
printf '64-bit boot\n' >"$tree/usr/standalone/i386/x64/boot7"
{ cat "$boot_file"; printf '\nClover revision: %s\n' "$revision"; } \
    >"$tree/usr/standalone/i386/x64/boot6"
head -c 2048 /dev/zero >"$tree/usr/standalone/i386/cdboot"
xorriso -as mkisofs -quiet -R -J -V CLOVER -b usr/standalone/i386/cdboot -no-emul-boot \
    -boot-load-size 4 -o "$work/Clover-v2.4k-r$revision-X64.iso" "$tree" 2>/dev/null

mkdir -p "$work/stage/Clover-v2.4k-r$revision"
mv "$work/Clover-v2.4k-r$revision-X64.iso" "$work/stage/Clover-v2.4k-r$revision/"
tar -C "$work/stage" -cf "$work/CloverISO-$revision.tar" "Clover-v2.4k-r$revision"
mkdir -p "$out"
xz --format=lzma -c "$work/CloverISO-$revision.tar" >"$out/CloverISO-$revision.tar.lzma"
