#!/bin/sh
# Lays out a mirror of the Clover project's ISO folder for the loopback test server:
#   ROOT/projects/cloverefiboot/files/Bootable_ISO/index.html    the listing
#   ROOT/projects/cloverefiboot/files/Bootable_ISO/CloverISO-N.tar.lzma/download
# The listing names every revision given, each several times as the project's page does;
# only the first gets an archive (made by clover_archive.sh from BOOT-FILE, in FORM lzma
# or xz, default lzma, with EFI-LOADER as its EFI/BOOT/BOOTX64.efi).
# Usage: clover_mirror.sh [--form FORM] [--efi EFI-LOADER] BOOT-FILE ROOT REVISION
#                         [OLDER-REVISION...]
set -eu
form=lzma
efi_loader=
while [ $# -gt 0 ]; do
    case $1 in
    --form) form=$2 ;;
    --efi) efi_loader=$2 ;;
    *) break ;;
    esac
    shift 2
done
boot_file=$1
root=$2
latest=$3
shift 2
folder=$root/projects/cloverefiboot/files/Bootable_ISO
mkdir -p "$folder/CloverISO-$latest.tar.lzma"
"$(dirname "$0")/clover_archive.sh" "$boot_file" "$latest" "$root/archive" "$form" "$efi_loader" \
    >/dev/null
mv "$root/archive/CloverISO-$latest.tar.lzma" "$folder/CloverISO-$latest.tar.lzma/download"
rmdir "$root/archive"
{
    echo '<html><body><table>'
    for revision in "$@"; do
        printf '<tr title="CloverISO-%s.tar.lzma"><th><a href="%s">CloverISO-%s.tar.lzma</a>' \
            "$revision" "CloverISO-$revision.tar.lzma/download" "$revision"
        echo '</th></tr>'
    done
    echo '</table></body></html>'
} >"$folder/index.html"
