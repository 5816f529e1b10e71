#!/bin/sh
# The "DL" data set on Windows under Wine: stickforge-cli.exe check-latest and
# install-clover against mirrors of the Clover project's SourceForge folder and GitHub
# releases on the loopback test server, so the whole chain runs (WinINet with GitHub's
# redirect, the SHA-256 digest through BCrypt, the packed 7z.exe, Unpack_Clover_ISO.bat in
# cmd) without a disk. Uses the caller's WINEPREFIX. Prints one line per check and a tally.
# Usage: clover.sh WINDOWS-BUILD LINUX-BUILD
set -u
windows_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
wine=$(command -v wine || echo /usr/lib/wine/wine64)
scratch=$(mktemp -d)
trap 'stop_test_server; rm -rf "$scratch"' EXIT
# shellcheck source=tests/check.sh
. "$here/../check.sh"
test_server_py=$here/../server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../server/server.sh"
show_failure() { tr -d '\r' <"$scratch/err" | sed 's/^/    | /' | tail -n 12; }

"$here/../clover/clover_mirror.sh" "$linux_build/boot/selftest_boot" "$scratch/mirror" 5151 3330 ||
    { echo "FAILED: no mirror"; finish; }
start_test_server "$scratch/mirror" || { echo "FAILED: the test server did not start"; finish; }
export STICKFORGE_CLOVER_HOST=http://127.0.0.1:$server_port
export STICKFORGE_GITHUB_API=off
mkdir -p "$scratch/app" "$scratch/stick"
cp "$windows_build/stickforge-cli.exe" "$scratch/app/"
cd "$scratch/app" || exit 1

"$wine" stickforge-cli.exe check-latest >"$scratch/out" 2>"$scratch/err"
check "Windows check-latest exits 0" test $? -eq 0
check "  and prints the revisions, highest first" \
    test "$(tr -d '\r' <"$scratch/out")" = "$(printf '5151\n3330')"

"$wine" stickforge-cli.exe install-clover "Z:$(echo "$scratch/stick" | tr / '\\')" \
    >/dev/null 2>"$scratch/err"
check "Windows install-clover exits 0" test $? -eq 0
check "  the boot file is the ISO's x64 boot6" \
    cmp -s "$scratch/stick/boot" "$scratch/stick/usr/standalone/i386/x64/boot6"
check "  with the EFI tree" test -f "$scratch/stick/EFI/CLOVER/CLOVERX64.efi"
check "  and the OEM copy of config.plist" \
    test -f "$scratch/stick/EFI/CLOVER/OEM/SystemProductName/UEFI/config.plist"

# GitHub's releases beside: 5172 is there only, as an ISO in a 7z behind a redirect.
export STICKFORGE_GITHUB_API=$STICKFORGE_CLOVER_HOST
github() {
    "$here/../clover/github_mirror.sh" "$@" "$linux_build/boot/selftest_boot" "$scratch/mirror" \
        "$STICKFORGE_GITHUB_API" 5172 5151
}
stick() { "$wine" stickforge-cli.exe install-clover "Z:$(echo "$1" | tr / '\\')" >/dev/null 2>"$scratch/err"; }
says() { tr -d '\r' <"$scratch/err" | grep -qF -- "$1"; }
github
"$wine" stickforge-cli.exe check-latest --sources >"$scratch/out" 2>"$scratch/err"
check "Windows check-latest --sources merges both sources" \
    test "$(tr -d '\r' <"$scratch/out")" = "$(printf '5172\tGitHub\n5151\tGitHub, SourceForge\n3330\tSourceForge')"
mkdir -p "$scratch/github"
stick "$scratch/github"
check "Windows install-clover fetches the GitHub archive: exit 0" test $? -eq 0
check "  checked against its SHA-256" says "Clover r5172 matches the SHA-256 digest GitHub publishes"
check "  and fills the folder with its data set" \
    grep -aq "Clover revision: 5172" "$scratch/github/boot"
github --digest wrong
mkdir -p "$scratch/wrong"
stick "$scratch/wrong"
check "Windows install-clover of an archive that does not match: exit non-zero" test $? -ne 0
check "  the status says so and nothing is installed" \
    sh -c 'grep -q "Digest Error: Clover r5172" "$1" && [ -z "$(ls -A "$2")" ]' - \
    "$scratch/err" "$scratch/wrong"
finish
