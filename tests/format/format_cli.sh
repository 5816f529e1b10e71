#!/bin/sh
# stickforge-cli format on a loop device (root): the not-USB question declined without
# --yes leaves the disk as it was, Clover on NTFS is refused with a non-zero exit, a run
# with --yes reaches "All done" and the disk is checked with sfdisk, blkid and fsck.fat,
# and the system disk is refused before any question; only a finished run exits 0. Exit 77 (skipped) when not root or a tool is missing.
set -u
cli=$1
PATH=$PATH:/usr/sbin:/sbin

if [ "$(id -u)" != 0 ]; then
    echo "skipped: needs root for loop devices"
    exit 77
fi
for tool in sfdisk blkid fsck.fat findmnt sha256sum; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

scratch=$(mktemp -d)
# The single-instance guard of these runs, apart from other tests' and the user's.
export STICKFORGE_LOCK_FOLDER="$scratch/locks"
device=
cleanup() {
    if [ -n "$device" ]; then
        "$cli" image detach "$device" || losetup -d "$device"
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
    echo "FAIL: $*"
    [ -f "$scratch/out" ] && cat "$scratch/out"
    exit 1
}
shows() { grep -qF -- "$1" "$scratch/out"; }

"$cli" image create "$scratch/stick.img" 96M || fail "image create"
device=$("$cli" image attach "$scratch/stick.img") || fail "image attach"
set -- --set EnableFixedDisks=1 --set InstallDataSet=Not_Install --set MultiPartitions=0

# Without --yes (and no terminal) the first question, the not-USB one, gets Cancel.
before=$(sha256sum <"$device")
"$cli" "$@" format "$device" >"$scratch/out" 2>&1 </dev/null
status=$?
[ "$status" != 0 ] || fail "the declined run exited with 0"
shows "Target Drive is Not USB Disk!" || fail "no not-USB question"
shows "-> Cancel" || fail "the question was not declined"
! shows "WILL BE DESTROYED" || fail "the confirmation followed a declined question"
[ "$(sha256sum <"$device")" = "$before" ] || fail "the declined run changed the disk"

# Clover cannot boot NTFS: refused with its own text, no "All done", an exit other than 0.
"$cli" --yes "$@" --set Boot_records=Clover --set FileSystem=NTFS format "$device" \
    >"$scratch/out" 2>&1
status=$?
shows "Error : Select FileSystem : FAT32-LBA Or exFAT only!" || fail "NTFS was not refused"
! grep -qx "All done" "$scratch/out" || fail "\"All done\" after the refusal"
[ "$status" != 0 ] || fail "the refused run exited with 0"
[ "$(sha256sum <"$device")" = "$before" ] || fail "the refused run changed the disk"

# XPC asked for exFAT: FAT32-LBA at sector 63.
"$cli" --yes "$@" --set Boot_records=XPC --set FileSystem=exFAT --set StartLBASector=63 \
    format "$device" >"$scratch/out" 2>&1
status=$?
[ "$status" = 0 ] || fail "format exited with $status"
grep -qx "All done" "$scratch/out" || fail "no \"All done\""
shows "FS:	FAT32-LBA" || fail "the summary does not name FAT32-LBA"
table=$(sfdisk --json "$device" | tr -d ' \n')
sectors=$(($(blockdev --getsz "$device") - 63))
case $table in
*'"partitions":[{"node":"'"$device"'p1","start":63,"size":'"$sectors"',"type":"c","bootable":true}]'*) ;;
*) fail "unexpected table: $table" ;;
esac
[ "$(blkid -p -o value -s VERSION "${device}p1")" = FAT32 ] || fail "partition 1 is no FAT32"
fsck.fat -n "${device}p1" >"$scratch/out" 2>&1 || fail "fsck.fat -n"

# The disk holding /: refused before any question (none would be answered OK here).
number=$(findmnt -n -o MAJ:MIN / | tr -d ' ')
block=$(readlink -f "/sys/dev/block/$number" 2>/dev/null)
if [ -n "$number" ] && [ -n "$block" ] && [ -d "$block" ]; then
    [ -e "$block/partition" ] && block=$(dirname "$block")
    "$cli" "$@" format "/dev/$(basename "$block")" >"$scratch/out" 2>&1 </dev/null
    status=$?
    [ "$status" != 0 ] || fail "the refused system disk exited with 0"
    shows "You selected a System Drive." || fail "the system disk was not refused"
    ! shows "Are You sure?" || fail "a question followed the refusal"
    ! shows "WILL BE DESTROYED" || fail "a confirmation followed the refusal"
else
    echo "/ lies on no disk: system disk case skipped"
fi
echo "format_cli: all passed"
