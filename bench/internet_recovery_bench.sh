#!/bin/sh
# Internet Recovery against the stand-in on loopback (10 MiB chunks, targets in /dev/shm):
# the program's fetch and check of a SIZE-MiB image against curl -o of the same image plus
# sha256sum of it, in the same run, alternating, the best of RUNS each; then a fetch whose
# first answer carries a corrupted chunk, with the bytes the server sent for the image.
# Usage: bench/internet_recovery_bench.sh BUILD-FOLDER [SIZE-MIB] [RUNS]
set -eu
build=$(cd "$1" && pwd)
size=${2:-1024}
runs=${3:-3}
here=$(cd "$(dirname "$0")" && pwd)
place=/tmp
[ -d /dev/shm ] && place=/dev/shm
scratch=$(mktemp -d "$place/recovery-bench.XXXXXX")
trap 'stop_test_server; rm -rf "$scratch"' EXIT
test_server_py=$here/../tests/server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../tests/server/server.sh"
key=$build/chunklist-test-key/key.pem
chunk=10485760

head -c "$((size * 1048576))" /dev/urandom >"$scratch/BaseSystem.dmg"
start_recovery_server "$scratch/BaseSystem.dmg" "$key" --chunk-size "$chunk" --log "$scratch/log"
server=http://127.0.0.1:$server_port
export STICKFORGE_RECOVERY_HOST=$server

# The pair's image address and token, asked for as the program asks.
session=$(curl -s -D - -o /dev/null "$server/" | sed -n 's/^Set-Cookie: \(session=[^;]*\).*/\1/p')
printf 'cid=0123456789ABCDEF\nsn=00000000000000000\nbid=Mac-7BA5B2D9E42DDD94\nk=%s\nfg=%s\nos=default' \
    "$(printf '%064d' 0)" "$(printf '%064d' 0)" >"$scratch/body"
curl -s -H "Cookie: $session" -H "Content-Type: text/plain" -A InternetRecovery/1.0 \
    --data-binary @"$scratch/body" "$server/InstallationPayload/RecoveryImage" >"$scratch/answer"
image_url=$(sed -n 's/^AU: //p' "$scratch/answer")
token=$(sed -n 's/^AT: //p' "$scratch/answer")

now_ms() { echo $(($(date +%s%N) / 1000000)); }
timed() {
    start=$(now_ms)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    echo $(($(now_ms) - start))
}
best() { sort -n | head -n 1; }
pair() {
    curl -s -H "Cookie: AssetToken=$token" -o "$scratch/curl.dmg" "$image_url" &&
        sha256sum "$scratch/curl.dmg"
}

: >"$scratch/pair.ms"
: >"$scratch/program.ms"
i=0
while [ "$i" -lt "$runs" ]; do
    timed pair >>"$scratch/pair.ms"
    rm -f "$scratch/curl.dmg"
    rm -rf "$scratch/images" && mkdir "$scratch/images"
    timed "$build/internet_recovery_bench" "$scratch/images" >>"$scratch/program.ms"
    cmp -s "$scratch/BaseSystem.dmg" "$scratch/images"/*/BaseSystem.dmg || { echo "differs"; exit 1; }
    i=$((i + 1))
done
pair_ms=$(best <"$scratch/pair.ms")
program_ms=$(best <"$scratch/program.ms")

# A corrupted chunk in the middle of the first answer.
stop_test_server
bad=$((size * 1048576 / chunk / 2 + 1))
start_recovery_server "$scratch/BaseSystem.dmg" "$key" --chunk-size "$chunk" \
    --corrupt-chunk "$bad" --log "$scratch/corrupt.log"
export STICKFORGE_RECOVERY_HOST=http://127.0.0.1:$server_port
rm -rf "$scratch/images" && mkdir "$scratch/images"
start=$(now_ms)
"$build/internet_recovery_bench" "$scratch/images" 2>"$scratch/corrupt.err" >/dev/null
corrupt_ms=$(($(now_ms) - start))
fetched() { sed -n 's/^BaseSystem.dmg of .* checked, \([0-9]*\) bytes fetched$/\1/p' "$1"; }
read_bytes=$(fetched "$scratch/corrupt.err")
cmp -s "$scratch/BaseSystem.dmg" "$scratch/images"/*/BaseSystem.dmg || { echo "differs"; exit 1; }
sent=$(grep "^GET /assets/BaseSystem.dmg" "$scratch/corrupt.log" |
    sed 's/.*sent=\([0-9]*\).*/\1/' | awk '{ total += $1 } END { print total }')
answers=$(grep -c "^GET /assets/BaseSystem.dmg" "$scratch/corrupt.log")
ranges=$(grep "^GET /assets/BaseSystem.dmg" "$scratch/corrupt.log" | sed 's/.*range=\([^ ]*\).*/\1/' |
    tr '\n' ' ')
rm -rf "$scratch/images" && mkdir "$scratch/images"
"$build/internet_recovery_bench" "$scratch/images" 2>"$scratch/plain.err" >/dev/null
plain_bytes=$(fetched "$scratch/plain.err")
cmp -s "$scratch/BaseSystem.dmg" "$scratch/images"/*/BaseSystem.dmg || { echo "differs"; exit 1; }

mib_s() { echo "$size $1" | awk '{ printf "%.0f", $1 * 1000 / $2 }'; }
bytes=$((size * 1048576))
echo "image: $size MiB in chunks of 10 MiB over loopback, best of $runs, targets in $place"
echo "curl -o + sha256sum:        $pair_ms ms ($(mib_s "$pair_ms") MiB/s)"
echo "program (fetch + check):    $program_ms ms ($(mib_s "$program_ms") MiB/s)"
echo "$program_ms $pair_ms" | awk '{ printf "program / pair:             %.3f\n", $1 / $2 }'
echo "corrupted chunk $bad:         $corrupt_ms ms, $answers answers ($ranges)"
chunks() { echo "$1 $chunk" | awk '{ printf "%.2f", $1 / $2 }'; }
echo "image bytes fetched:        $read_bytes, $((read_bytes - plain_bytes)) more than an" \
    "unbroken fetch ($(chunks $((read_bytes - plain_bytes))) chunks)"
echo "image bytes the server sent: $sent for an image of $bytes, $((sent - bytes)) more" \
    "($(chunks $((sent - bytes))) chunks; the rest of the first answer in the socket buffers)"
