#!/bin/sh
# The download verb against curl -o, both fetching one file from the loopback test
# server (sendfile) in the same run, alternating; the best of RUNS each. Also the peak
# memory of the verb and the time a drop half-way costs (its 1 s wait plus the
# reconnect). Targets go to /dev/shm where it exists, so that the disk is not measured.
# Usage: bench/download_bench.sh STICKFORGE-CLI [SIZE-MIB] [RUNS]
set -eu
cli=$1
size=${2:-1024}
runs=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
place=/tmp
[ -d /dev/shm ] && place=/dev/shm
scratch=$(mktemp -d "$place/download-bench.XXXXXX")
trap 'stop_test_server; rm -rf "$scratch"' EXIT
test_server_py=$here/../tests/server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../tests/server/server.sh"

mkdir "$scratch/files"
head -c "$((size * 1048576))" /dev/urandom >"$scratch/files/big.bin"
start_test_server "$scratch/files"
url=http://127.0.0.1:$server_port/big.bin

now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Runs a command, prints its wall time in milliseconds.
timed() {
    start=$(now_ms)
    "$@" >/dev/null 2>&1
    echo $(($(now_ms) - start))
}
best() { sort -n | head -n 1; }

: >"$scratch/curl.ms"
: >"$scratch/cli.ms"
i=0
while [ "$i" -lt "$runs" ]; do
    timed curl -s -o "$scratch/curl.bin" "$url" >>"$scratch/curl.ms"
    rm -f "$scratch/curl.bin"
    timed "$cli" download "$url" "$scratch/cli.bin" >>"$scratch/cli.ms"
    cmp -s "$scratch/files/big.bin" "$scratch/cli.bin" || { echo "download differs"; exit 1; }
    rm -f "$scratch/cli.bin"
    i=$((i + 1))
done
curl_ms=$(best <"$scratch/curl.ms")
cli_ms=$(best <"$scratch/cli.ms")

/usr/bin/time -f %M -o "$scratch/peak" "$cli" download "$url" "$scratch/cli.bin" 2>/dev/null
rm -f "$scratch/cli.bin"
half=$((size * 524288))
dropped_ms=$(timed "$cli" download "$url?drop=$half&drops=1" "$scratch/cli.bin")
cmp -s "$scratch/files/big.bin" "$scratch/cli.bin" || { echo "resumed download differs"; exit 1; }

mib_s() { echo "$size $1" | awk '{ printf "%.0f", $1 * 1000 / $2 }'; }
echo "file: $size MiB over loopback, best of $runs, targets in $place"
echo "curl -o:           $curl_ms ms ($(mib_s "$curl_ms") MiB/s)"
echo "download verb:     $cli_ms ms ($(mib_s "$cli_ms") MiB/s)"
echo "$cli_ms $curl_ms" | awk '{ printf "throughput ratio:  %.3f of curl\n", $2 / $1 }'
echo "peak memory:       $(($(cat "$scratch/peak") / 1024)) MiB (maximum resident set)"
echo "drop at half-way:  $((dropped_ms - cli_ms)) ms more than an unbroken download"
