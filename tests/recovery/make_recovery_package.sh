#!/bin/sh
# Builds a Recovery-like package: RecoveryHDUpdate.pkg (xar) holding RecoveryHDMeta.dmg,
# whose HFS+ volume holds BaseSystem.dmg, whose one partition is an HFS+ image.
# Usage: make_recovery_package.sh FIXTURE-TOOL OUT
#   FIXTURE-TOOL: tests/archiver's archive_fixture. Leaves in OUT: base.hfs (the image
#   the extraction must give back), BaseSystem.dmg, RecoveryHDUpdate.pkg and Empty.dmg (a
#   disk image without an HFS partition). Exit code 77 when xorriso or bsdtar is missing.
set -eu
tool=$1
out=$2
for needed in xorriso bsdtar; do
    command -v "$needed" >/dev/null || { echo "SKIPPED: $needed is missing"; exit 77; }
done
mkdir -p "$out"
cd "$out"
rm -rf base-tree meta-tree package
mkdir -p base-tree/System/Library/CoreServices meta-tree package/RecoveryHDUpdate.pkg
echo "<key>ProductVersion</key><string>10.11</string>" \
    >base-tree/System/Library/CoreServices/SystemVersion.plist
head -c 200000 /dev/urandom >base-tree/System/Library/CoreServices/boot.efi
xorriso -as mkisofs -quiet -hfsplus -V "OS X Base System" -o base.iso base-tree 2>/dev/null
"$tool" hfs base.iso base.hfs
"$tool" dmg BaseSystem.dmg Apple_HFS=base.hfs
head -c 4096 /dev/urandom >free.bin
"$tool" dmg Empty.dmg Apple_Free=free.bin
cp BaseSystem.dmg meta-tree/
xorriso -as mkisofs -quiet -hfsplus -V "Recovery HD" -o meta.iso meta-tree 2>/dev/null
"$tool" hfs meta.iso meta.hfs
"$tool" dmg package/RecoveryHDUpdate.pkg/RecoveryHDMeta.dmg Apple_HFS=meta.hfs
echo "<installer-gui-script/>" >package/Distribution
(cd package && bsdtar --format xar --options xar:toc-checksum=none \
    -cf ../RecoveryHDUpdate.pkg Distribution RecoveryHDUpdate.pkg)
rm -rf base-tree meta-tree package base.iso meta.iso meta.hfs free.bin
