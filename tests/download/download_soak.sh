#!/bin/sh
# Soak of the download engine: COUNT downloads (default 100) of one SIZE-MiB file
# (default 64) through stickforge-cli, each answer of the first DROPS (default 3) for a
# URL cut off after a random number of bytes, every result SHA-256-identical to the
# served file. CI runs it with a small count.
# Usage: download_soak.sh STICKFORGE-CLI [COUNT] [SIZE-MIB] [DROPS]
set -u
cli=$1
count=${2:-100}
size=${3:-64}
drops=${4:-3}
here=$(dirname "$0")
scratch=$(mktemp -d)
trap 'stop_test_server; rm -rf "$scratch"' EXIT
test_server_py=$here/../server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../server/server.sh"

mkdir "$scratch/files"
head -c "$((size * 1048576))" /dev/urandom >"$scratch/files/soak.bin"
expected=$(sha256sum <"$scratch/files/soak.bin" | cut -d' ' -f1)
start_test_server "$scratch/files" || { echo "the test server did not start"; exit 1; }

failures=0
resumes=0
i=1
while [ "$i" -le "$count" ]; do
    url="http://127.0.0.1:$server_port/soak.bin?drop=random&drops=$drops&run=$i"
    "$cli" --set ResumeMaxAttemptsNumber=$((drops + 1)) download "$url" "$scratch/got" \
        2>"$scratch/err"
    status=$?
    got=$(sha256sum <"$scratch/got" 2>/dev/null | cut -d' ' -f1)
    if [ "$status" -ne 0 ] || [ "$got" != "$expected" ]; then
        echo "run $i: exit $status, sha256 ${got:-none}"
        tail -n 3 "$scratch/err"
        failures=$((failures + 1))
    fi
    resumes=$((resumes + $(tr '\r' '\n' <"$scratch/err" | grep -c "Attempt to resume")))
    rm -f "$scratch/got"
    i=$((i + 1))
done
echo "$count downloads of $size MiB, $resumes resumes, $failures failed"
[ "$failures" -eq 0 ]
