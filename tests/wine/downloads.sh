#!/bin/sh
# The download engine through WinINet under Wine, against the loopback test server: the
# check program of the Windows build and stickforge-cli.exe download.
# Usage: downloads.sh WINE WINDOWS-BUILD (WINEPREFIX set by the caller)
set -u
wine=$1
windows_build=$(cd "$2" && pwd)
here=$(dirname "$0")
scratch=$(mktemp -d)
trap 'stop_test_server; rm -rf "$scratch"' EXIT
# shellcheck source=tests/check.sh
. "$here/../check.sh"
test_server_py=$here/../server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../server/server.sh"

mkdir "$scratch/files" "$scratch/got"
head -c 3000000 /dev/urandom >"$scratch/files/f.bin"
start_test_server "$scratch/files" || { echo "FAILED: the test server did not start"; exit 1; }
base=http://127.0.0.1:$server_port
windows_path() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

output="$scratch/check.out"
"$wine" "$windows_build/download_win32_check.exe" "$base" "$(windows_path "$scratch/files")" \
    "$(windows_path "$scratch/got")" 2>/dev/null | tr -d '\r' >"$output"
grep -v " passed, " "$output"
check "WinINet transfers ($(tail -n 1 "$output"))" grep -q " 0 failed" "$output"

cli=$windows_build/stickforge-cli.exe
(cd "$scratch/got" && "$wine" "$cli" download "$base/f.bin?drop=random&drops=1" cli.bin) \
    >/dev/null 2>&1
check "CLI download resumes and exits 0" test $? -eq 0
check "CLI download holds every byte" cmp -s "$scratch/files/f.bin" "$scratch/got/cli.bin"
(cd "$scratch/got" && "$wine" "$cli" download "$base/none" none.bin) >/dev/null \
    2>"$scratch/err"
check "CLI download of a missing file exits non-zero" test $? -ne 0
check "with the status text" grep -q "HTTP status code = 404" "$scratch/err"
finish
