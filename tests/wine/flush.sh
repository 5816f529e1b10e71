# Sourced by wine_smoke.sh (its run_checks): the files of a Win32 file tree are on the
# device when the tree finishes. As root a loop device with the kernel's ext4 stands in for
# a stick, reached as drive S:; its image file, read through Z:, shows what reached the
# device while the file system stays mounted.
if [ "$(id -u)" -ne 0 ] || ! command -v mkfs.ext4 >/dev/null 2>&1; then
    echo "skipped: the Win32 file tree flush checks need root and mkfs.ext4"
else
    flush_image="$scratch/flush.img"
    truncate -s 64M "$flush_image"
    mkfs.ext4 -q -F "$flush_image"
    flush_device=$(losetup --find --show "$flush_image")
    mkdir -p "$scratch/flush"
    # Without the rewrite heuristic that writes a file out when it is closed after a
    # truncation: only the flushes put the files on the device.
    mount -o noauto_da_alloc "$flush_device" "$scratch/flush"
    ln -sfn "$scratch/flush" "$WINEPREFIX/dosdevices/s:"
    run_checks "Win32 file tree flush checks" flush_win32_check 'S:\stick' "Z:$flush_image"
    rm -f "$WINEPREFIX/dosdevices/s:"
    umount "$scratch/flush" 2>/dev/null || umount -l "$scratch/flush"
    losetup -d "$flush_device"
fi
