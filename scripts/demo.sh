#!/bin/sh
# The program's main job without a stick or a network: makes a virtual disk, formats it
# with the default settings except that the Clover data set comes from a local demo
# repository, and boots the result in QEMU, which prints "Stickforge boot chain OK".
# The demo data set is Clover-like, but its `boot` is the build's self-test file.
# Usage: scripts/demo.sh [build-folder]   (root: the virtual disk is a loop device)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
demo=$build/demo
cli=$build/stickforge-cli
if [ "$(id -u)" -ne 0 ]; then
    echo "The demo attaches a virtual disk and needs root; run it with sudo." >&2
    exit 1
fi
rm -rf "$demo"
mkdir -p "$demo/set/EFI/CLOVER/kexts/Other" "$demo/set/EFI/BOOT" "$demo/repository"

# A revision recorded in `boot` as Clover records its own.
revision=9999
{ cat "$build/boot/selftest_boot"; printf '\nClover revision: %s\n' "$revision"; } \
    >"$demo/set/boot"
printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict/></plist>\n' \
    >"$demo/set/EFI/CLOVER/config.plist"
(cd "$demo/set" && 7zz a -tzip -bso0 -bsp0 "../repository/CloverV2-r$revision.zip" '*')

"$cli" image create "$demo/stick.img" 512M
device=$("$cli" image attach "$demo/stick.img")
detach() { "$cli" image detach "$device" 2>/dev/null || true; }
trap detach EXIT
echo "Formatting the virtual disk $device"
"$cli" --yes --set EnableFixedDisks=1 --set InstallDataSet=Local \
    --set CloverLocalRepository="$(cd "$demo/repository" && pwd)/" format "$device"
detach
trap - EXIT

echo "Booting it in QEMU"
printf '\370\003' >"$demo/sercon-port"
status=0
timeout --kill-after=5 30 qemu-system-x86_64 -machine pc -accel tcg -m 64 -display none \
    -no-reboot -net none -monitor none -serial "file:$demo/serial.txt" \
    -drive "file=$demo/stick.img,format=raw,if=ide,snapshot=on" \
    -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
    -fw_cfg "name=etc/sercon-port,file=$demo/sercon-port" 2>"$demo/qemu.log" || status=$?
# The self-test ends QEMU with status 33 after its text.
if [ "$status" -eq 33 ] && grep -aq "Stickforge boot chain OK" "$demo/serial.txt"; then
    echo "The virtual disk booted: Stickforge boot chain OK (screen in $demo/serial.txt)"
else
    echo "The virtual disk did not boot (QEMU status $status):" >&2
    tr -d '\033' <"$demo/serial.txt" | tail -n 5 >&2
    cat "$demo/qemu.log" >&2
    exit 1
fi
