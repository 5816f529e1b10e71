#!/bin/sh
# The download engine through WinINet under Wine, against the loopback test servers (http
# and https): the check program of the Windows build and stickforge-cli.exe download.
# The TLS server's authority is trusted in the caller's private prefix only, halfway.
# Usage: downloads.sh WINE WINDOWS-BUILD (WINEPREFIX set by the caller)
set -u
wine=$1
windows_build=$(cd "$2" && pwd)
here=$(dirname "$0")
scratch=$(mktemp -d)
tls_pid=
trap 'stop_test_server; [ -z "$tls_pid" ] || kill "$tls_pid"; rm -rf "$scratch"' EXIT
# shellcheck source=tests/check.sh
. "$here/../check.sh"
test_server_py=$here/../server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../server/server.sh"

mkdir "$scratch/files" "$scratch/got"
head -c 3000000 /dev/urandom >"$scratch/files/f.bin"
truncate -s 64M "$scratch/files/big.bin"
start_test_server "$scratch/files" --tls "$scratch/certs" ||
    { echo "FAILED: the TLS test server did not start"; exit 1; }
tls_base=https://127.0.0.1:$server_port tls_pid=$server_pid server_pid=
start_test_server "$scratch/files" || { echo "FAILED: the test server did not start"; exit 1; }
base=http://127.0.0.1:$server_port
windows_path() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
served=$(windows_path "$scratch/files")
got=$(windows_path "$scratch/got")
output="$scratch/check.out"
checks() {
    "$wine" "$windows_build/download_win32_check.exe" "$@" 2>/dev/null | tr -d '\r' >"$output"
    grep -v " passed, " "$output"
}

checks "$base" "$served" "$got" "$tls_base"
check "WinINet transfers, an unknown authority refused ($(tail -n 1 "$output"))" \
    grep -q " 0 failed" "$output"
if "$wine" "$windows_build/download_win32_check.exe" --trust \
    "$(windows_path "$scratch/certs/ca.pem")" 2>/dev/null; then
    checks --trusted "$tls_base" "$base" "$served" "$got"
    check "WinINet over TLS, no redirect to http ($(tail -n 1 "$output"))" \
        grep -q " 0 failed" "$output"
else
    echo "SKIPPED: Wine could not be made to trust the test's authority"
fi

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
