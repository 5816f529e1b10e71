#!/bin/sh
# The program's main job without a stick or a network: makes a virtual disk, formats it
# with the default settings, so the Clover data set is downloaded ("DL"), here from a
# mirror of the Clover project that the demo serves itself over https on 127.0.0.1, and
# boots the result in QEMU, which prints "Stickforge boot chain OK". The mirror's archive
# is Clover-like, but its boot file is the build's self-test file.
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

echo "Serving a mirror of the Clover project's ISO folder on 127.0.0.1"
tests/clover/clover_mirror.sh "$build/boot/selftest_boot" "$demo/mirror" 5151 5126 5103
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
export STICKFORGE_CA_FILE="$demo/certs/ca.pem"

"$cli" image create "$demo/stick.img" 512M
device=$("$cli" image attach "$demo/stick.img")
echo "Formatting the virtual disk $device with the default settings"
"$cli" --yes --set EnableFixedDisks=1 format "$device"
"$cli" image detach "$device"
device=

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
