#!/bin/sh
# COUNT back-to-back formats (default 20) of a virtual disk with the default settings,
# the Clover data set downloaded from a mirror on 127.0.0.1 that breaks off transfers at
# random, each disk booted in QEMU. Afterwards nothing may be left behind: loop devices
# of the soak, mounts, temporary files and folders, open descriptors, program processes,
# connections to the mirror. Prints one line per run and the counts before and after;
# exits 1 when a run did not boot or something was left.
# Usage: scripts/soak.sh [COUNT] [build-folder]   (root: the disks are loop devices)
set -eu
cd "$(dirname "$0")/.."
count=${1:-20}
build=${2:-build}
cli=$PWD/$build/stickforge-cli
soak=$PWD/$build/soak
if [ "$(id -u)" -ne 0 ]; then
    echo "The soak attaches virtual disks and needs root; run it with sudo." >&2
    exit 1
fi
rm -rf "$soak"
mkdir -p "$soak/tmp"
# The program's temporary folders go here, so that every one of them is counted.
export TMPDIR="$soak/tmp"

tests/clover/clover_mirror.sh "$build/boot/selftest_boot" "$soak/mirror" 5151 5126 5103
test_server_py=tests/server/http_test_server.py
. tests/server/server.sh
# The archive breaks off at a random byte in half of its answers; the listing, a small
# transfer into memory, is left whole.
start_test_server "$soak/mirror" --tls "$soak/certs" --seed 14 --drop-chance 0.5 \
    --drop-smallest 1024 --log "$soak/requests.log"
trap 'stop_test_server' EXIT
export STICKFORGE_CLOVER_HOST="https://127.0.0.1:$server_port"
export STICKFORGE_CA_FILE="$soak/certs/ca.pem"
export STICKFORGE_GITHUB_API=off  # the mirror's archive, broken off at random

# What the soak could leave behind, counted. Mounts are those of the soak's own disks
# (checked after each run) and any below its folders; descriptors those of any process
# on the soak's files; processes the program's and its children's (the mirror aside).
loops() { losetup -a | grep -c "$soak/" || true; }
mounts() { grep -c -e "$soak/" -e "^$device_of_run" /proc/mounts || true; }
# The program's own private folder there stays, as its lock folder does; what it holds
# is counted.
temporaries() {
    echo $(($(find "$TMPDIR" -mindepth 1 ! -path "$TMPDIR/stickforge-$(id -u)" | wc -l) +
        $(find /dev/shm -maxdepth 1 -name 'stickforge-mtools-*' | wc -l)))
}
descriptors() {
    for process in /proc/[0-9]*; do
        [ "$process" = "/proc/$server_pid" ] && continue
        for fd in "$process"/fd/*; do readlink "$fd" 2>/dev/null; done
    done | grep -c "^$soak/" || true
}
server_descriptors() { find "/proc/$server_pid/fd" -mindepth 1 | wc -l; }
processes() { pgrep -f "$cli|$soak" | grep -cvx "$server_pid" || true; }
connections() { ss -Htn state established "( sport = :$server_port )" | wc -l; }
counts() {
    echo "loop devices $(loops), mounts $(mounts), temporaries $(temporaries)," \
        "descriptors $(descriptors), mirror descriptors $(server_descriptors)," \
        "processes $(processes), connections $(connections)"
}

device_of_run=/dev/none
before=$(counts)
echo "before: $before"
printf '\370\003' >"$soak/sercon-port"
failed=0
run=1
while [ "$run" -le "$count" ]; do
    started=$(date +%s)
    image=$soak/stick.img
    rm -f "$image"
    "$cli" image create "$image" 512M >/dev/null
    device=$("$cli" image attach "$image")
    status=0
    "$cli" --yes --set EnableFixedDisks=1 format "$device" >"$soak/format-$run.log" 2>&1 ||
        status=$?
    "$cli" image detach "$device"
    device_of_run=$device
    [ "$(mounts)" -eq 0 ] || { echo "run $run left a mount of $device" >&2; failed=$((failed + 1)); }
    booted=no
    if [ "$status" -eq 0 ]; then
        qemu=0
        timeout --kill-after=5 180 qemu-system-x86_64 -machine pc -accel tcg -m 64 \
            -display none -no-reboot -net none -monitor none -serial "file:$soak/serial.txt" \
            -drive "file=$image,format=raw,if=ide,snapshot=on" \
            -device isa-debug-exit,iobase=0xf4,iosize=0x04 \
            -fw_cfg "name=etc/sercon-port,file=$soak/sercon-port" 2>"$soak/qemu.log" || qemu=$?
        # The self-test ends QEMU with status 33 after its text.
        [ "$qemu" -eq 33 ] && grep -aq "Stickforge boot chain OK" "$soak/serial.txt" && booted=yes
    fi
    answers=$(grep -c "CloverISO-5151" "$soak/requests.log" || true)
    echo "run $run: format status $status, booted $booted, $(($(date +%s) - started)) s," \
        "archive answers so far $answers"
    [ "$booted" = yes ] || failed=$((failed + 1))
    run=$((run + 1))
done
rm -f "$soak/stick.img"

after=$(counts)
echo "after:  $after"
left=0
[ "$after" = "$before" ] || left=1
[ "$left" -eq 0 ] || echo "Something was left behind" >&2
echo "soak: $((count - failed)) passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$left" -eq 0 ]
