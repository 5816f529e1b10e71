#!/bin/sh
# The backup verb against dd (conv=fsync, as the verb flushes its image) for one SIZE-MiB
# partition of a loop device filled with random bytes (root), alternating, the best of
# RUNS each; images go to /dev/shm where it exists, so that only the copy is measured.
# Usage: bench/backup_bench.sh STICKFORGE-CLI [SIZE-MIB] [RUNS]
set -eu
cli=$1
size=${2:-300}
runs=${3:-5}
PATH=$PATH:/usr/sbin:/sbin
place=/tmp
[ -d /dev/shm ] && place=/dev/shm
scratch=$(mktemp -d "$place/backup-bench.XXXXXX")
export STICKFORGE_LOCK_FOLDER="$scratch/locks"
device=
cleanup() {
    [ -z "$device" ] || "$cli" image detach "$device" >/dev/null 2>&1 || losetup -d "$device"
    rm -rf "$scratch"
}
trap cleanup EXIT

# The disk image lives beside the targets but is not one of them.
"$cli" image create "$scratch/disk.img" "$((size + 2))M" >/dev/null
device=$("$cli" image attach "$scratch/disk.img")
echo "2048,$((size * 2048)),c" | sfdisk -q "$device"
partx -u "$device" 2>/dev/null || true
udevadm settle 2>/dev/null || true
partition=${device}p1
head -c "$((size * 1048576))" /dev/urandom | dd of="$partition" bs=1M iflag=fullblock \
    status=none conv=fsync

now_ms() { echo $(($(date +%s%N) / 1000000)); }
timed() {
    start=$(now_ms)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    echo $(($(now_ms) - start))
}
best() { sort -n | head -n 1; }

: >"$scratch/dd.ms"
: >"$scratch/cli.ms"
i=0
while [ "$i" -lt "$runs" ]; do
    rm -f "$scratch/dd.img" "$scratch/cli.img"
    timed dd if="$partition" of="$scratch/dd.img" bs=1M conv=fsync status=none >>"$scratch/dd.ms"
    timed "$cli" --yes --set EnableFixedDisks=1 backup "$partition" "$scratch/cli.img" \
        >>"$scratch/cli.ms"
    cmp -s "$scratch/dd.img" "$scratch/cli.img" || { echo "the images differ" >&2; exit 1; }
    i=$((i + 1))
done
echo "backup of a $size MiB partition, best of $runs:"
echo "dd:            $(best <"$scratch/dd.ms") ms"
echo "stickforge-cli $(best <"$scratch/cli.ms") ms"
