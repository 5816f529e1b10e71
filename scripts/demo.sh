#!/bin/sh
# The program's main job without a stick or a network: makes a virtual disk, formats it
# with the default settings, so the Clover data set is downloaded ("DL"), here from
# mirrors of the Clover project's SourceForge folder and GitHub releases that the demo
# serves itself over https on 127.0.0.1 (the newest revision is on GitHub, checked against
# its SHA-256 digest), and boots the result in QEMU both ways: legacy (SeaBIOS, through
# the boot records and the boot file), which prints "Stickforge boot chain OK", and UEFI
# (OVMF, from the USB stick's EFI/BOOT/BOOTX64.efi), which prints "Stickforge UEFI boot
# OK". The archives are Clover-like, but their boot file and UEFI loader are the build's
# self-test files.
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
mkdir -p "$demo"

echo "Serving mirrors of the Clover project's ISO folder and GitHub releases on 127.0.0.1"
uefi_loader=$build/boot/selftest_bootx64.efi
ovmf=/usr/share/OVMF
if [ ! -f "$uefi_loader" ] || [ ! -f "$ovmf/OVMF_CODE_4M.fd" ]; then
    echo "The UEFI boot needs Debian's ovmf and grub-efi-amd64-bin (scripts/setup.sh)." >&2
    exit 1
fi
tests/clover/clover_mirror.sh --efi "$uefi_loader" "$build/boot/selftest_boot" "$demo/mirror" \
    5151 5126 5103
test_server_py=tests/server/http_test_server.py
. tests/server/server.sh
start_test_server "$demo/mirror" --tls "$demo/certs"
device=
cleanup() {
    code=$?
    [ -z "$device" ] || "$cli" image detach "$device" 2>/dev/null || true
    stop_test_server || true
    exit "$code"
}
trap cleanup EXIT
export STICKFORGE_CLOVER_HOST="https://127.0.0.1:$server_port"
export STICKFORGE_GITHUB_API="https://127.0.0.1:$server_port"
export STICKFORGE_CA_FILE="$demo/certs/ca.pem"
tests/clover/github_mirror.sh --efi "$uefi_loader" "$build/boot/selftest_boot" "$demo/mirror" \
    "$STICKFORGE_GITHUB_API" 5172 5161 5151

"$cli" image create "$demo/stick.img" 512M
device=$("$cli" image attach "$demo/stick.img")
echo "Formatting the virtual disk $device with the default settings"
"$cli" --yes --set EnableFixedDisks=1 format "$device"
"$cli" image detach "$device"
device=

# boot NAME MACHINE-ARGS...: QEMU on the disk, its text in $demo/NAME.txt; sets status.
# The self-test files end QEMU with status 33 after their text.
boot() {
    name=$1
    shift
    status=0
    timeout --kill-after=5 180 qemu-system-x86_64 -accel tcg -display none -no-reboot \
        -net none -monitor none -serial "file:$demo/$name.txt" \
        -device isa-debug-exit,iobase=0xf4,iosize=0x04 "$@" 2>"$demo/$name.log" || status=$?
}
booted() {
    if [ "$status" -eq 33 ] && grep -aq "$2" "$demo/$1.txt"; then
        echo "The virtual disk booted $3: $(tr -d '\r' <"$demo/$1.txt" | grep -ao "$2.*" | head -n 1)"
    else
        echo "The virtual disk did not boot $3 (QEMU status $status):" >&2
        tr -d '\033' <"$demo/$1.txt" | tail -n 5 >&2
        cat "$demo/$1.log" >&2
        exit 1
    fi
}

echo "Booting it in QEMU, legacy: SeaBIOS, the disk as the first hard disk"
printf '\370\003' >"$demo/sercon-port"
boot legacy -machine pc -m 64 -fw_cfg "name=etc/sercon-port,file=$demo/sercon-port" \
    -drive "file=$demo/stick.img,format=raw,if=ide,snapshot=on"
booted legacy "Stickforge boot chain OK" legacy

echo "Booting it in QEMU, UEFI: OVMF, the disk as a USB stick"
cp "$ovmf/OVMF_VARS_4M.fd" "$demo/ovmf-vars.fd"
boot uefi -machine q35 -m 128 \
    -drive "if=pflash,format=raw,readonly=on,file=$ovmf/OVMF_CODE_4M.fd" \
    -drive "if=pflash,format=raw,file=$demo/ovmf-vars.fd" \
    -drive "if=none,id=stick,file=$demo/stick.img,format=raw,snapshot=on" \
    -device qemu-xhci,id=xhci -device usb-storage,bus=xhci.0,drive=stick,bootindex=0
booted uefi "Stickforge UEFI boot OK" "in UEFI firmware"
