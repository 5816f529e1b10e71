#!/bin/sh
# stickforge-cli download against the loopback test server: exit status, the result's
# text on stderr, the resume bound from --set, no partial file after a failure.
set -u
cli_built=$1
here=$(dirname "$0")
scratch=$(mktemp -d)
trap 'stop_test_server; rm -rf "$scratch"' EXIT
cp "$cli_built" "$scratch/stickforge-cli"
cli="$scratch/stickforge-cli"
# shellcheck source=tests/check.sh
. "$here/../check.sh"
test_server_py=$here/../server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../server/server.sh"

mkdir "$scratch/files"
head -c 5000000 /dev/urandom >"$scratch/files/payload.bin"
start_test_server "$scratch/files" || { echo "FAILED: the test server did not start"; exit 1; }
base=http://127.0.0.1:$server_port

"$cli" download "$base/payload.bin?drop=random&drops=2" "$scratch/got" 2>"$scratch/err"
check "a resumed download exits 0" test $? -eq 0
check "and holds every byte" cmp -s "$scratch/files/payload.bin" "$scratch/got"
check "the progress shows the file" grep -q "got (" "$scratch/err"

"$cli" download "$base/missing.bin" "$scratch/missing" 2>"$scratch/err"
check "404 exits non-zero" test $? -ne 0
check "with the status text" grep -q "HTTP status code = 404" "$scratch/err"
check "and no file" test ! -e "$scratch/missing"

"$cli" --set ResumeMaxAttemptsNumber=1 download "$base/payload.bin?drop=100000" \
    "$scratch/dropped" 2>"$scratch/err"
check "used-up resume attempts exit non-zero" test $? -ne 0
check "with their text" grep -q "The maximum number of attempts to resume download reached" \
    "$scratch/err"
check "after exactly one resume" sh -c "grep -c 'Attempt to resume downloading, #' '$scratch/err' | grep -qx 1"
check "and no partial file" test ! -e "$scratch/dropped"

"$cli" download "not-a-url" "$scratch/x" 2>"$scratch/err"
check "a bad URL is refused" grep -q "Check download procedure parameters" "$scratch/err"
"$cli" download "$base/payload.bin" 2>/dev/null
check "a missing FILE is a usage error" test $? -eq 2
finish
