#!/bin/sh
# Packs a Clover ISO tree the way Clover's build does (CloverPackage/makeiso): the image
# Clover-REVISION-X64.iso, a hybrid of ISO 9660 with Joliet and HFS whose El Torito image
# is usr/standalone/i386/cdboot, in one of the forms it is published in:
#   lzma  CloverISO-REVISION.tar.lzma: a tar of "." (./Clover-REVISION-X64.iso), LZMA-alone
#         (the macOS build: hdiutil makehybrid, whose image starts with an Apple partition
#         map, made here by genisoimage -part; then LzmaCompress)
#   xz    CloverISO-REVISION.tar.lzma: the Linux build's genisoimage -J -hfs (no partition
#         map), the same tar in an xz container (xz -S .lzma)
#   7z    Clover-REVISION-X64.iso.7z: the macOS image in a 7z (the GitHub release asset)
#   iso   Clover-REVISION-X64.iso, the macOS image
#   tar   CloverISO-REVISION.tar, the macOS image in the tar of "."
# Usage: clover_pack.sh TREE REVISION OUT-FOLDER FORM
# Needs genisoimage, tar, xz and 7zz; exit 77 when one is missing. Prints the file's path.
set -eu
tree=$1
revision=$2
out=$3
form=$4
for tool in genisoimage tar xz 7zz; do
    if ! command -v "$tool" >/dev/null; then
        echo "clover_pack.sh: $tool is missing (Debian packages genisoimage, tar, xz-utils, 7zip)" >&2
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

iso=Clover-$revision-X64.iso
partition_map=-part
[ "$form" = xz ] && partition_map=
mkdir -p "$work/CloverISO-$revision" "$out"
# shellcheck disable=SC2086 # no word when the Linux build has no partition map
genisoimage -J -hfs $partition_map -hfs-volid "Clover-$revision-X64" -D \
    -b usr/standalone/i386/cdboot -no-emul-boot -quiet -o "$work/CloverISO-$revision/$iso" "$tree"
tar=$work/CloverISO-$revision.tar
case $form in
lzma | xz | tar) tar -cf "$tar" -C "$work/CloverISO-$revision" . ;;
esac
case $form in
lzma) file=$out/CloverISO-$revision.tar.lzma && xz --format=lzma -c "$tar" >"$file" ;;
xz) file=$out/CloverISO-$revision.tar.lzma && xz -c "$tar" >"$file" ;;
tar) file=$out/CloverISO-$revision.tar && mv "$tar" "$file" ;;
7z)
    file=$out/$iso.7z
    rm -f "$file"
    (cd "$work/CloverISO-$revision" && 7zz a -bd -bso0 "$work/$iso.7z" "$iso")
    mv "$work/$iso.7z" "$file"
    ;;
iso) file=$out/$iso && mv "$work/CloverISO-$revision/$iso" "$file" ;;
*)
    echo "clover_pack.sh: unknown form $form" >&2
    exit 2
    ;;
esac
echo "$file"
