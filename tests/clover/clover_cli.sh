#!/bin/sh
# stickforge-cli check-latest and install-clover against mirrors of the Clover project's
# ISO folder and of its GitHub releases on the loopback test server: the revisions of the
# listing, the data set in a folder and in the local repository, each failure with its
# text, a non-zero exit and no temporary folder left behind; then both sources merged,
# the GitHub archive checked against its digest, and each source standing in when the
# other fails. Exit 77 when a fixture tool is missing.
# Usage: clover_cli.sh STICKFORGE-CLI BOOT-FILE
set -u
cli_built=$1
boot_file=$2
here=$(dirname "$0")
for tool in python3 openssl genisoimage xz 7zz; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing"
        exit 77
    fi
done
scratch=$(mktemp -d)
trap 'stop_test_server; rm -rf "$scratch"' EXIT
cp "$cli_built" "$scratch/stickforge-cli"
cli="$scratch/stickforge-cli"
# shellcheck source=tests/check.sh
. "$here/../check.sh"
test_server_py=$here/../server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$here/../server/server.sh"
show_failure() { sed 's/^/    | /' "$scratch/err" | tail -n 12; }
says() { tr -d '\r' <"$scratch/err" | grep -qF -- "$1"; }
no_temp_folder() { ! ls "$TMPDIR" | grep -q '^SFKTemp'; }
export TMPDIR="$scratch/tmp"
mkdir "$TMPDIR"
# SourceForge alone first.
export STICKFORGE_GITHUB_API=off
iso=projects/cloverefiboot/files/Bootable_ISO

# A mirror of the project over https, with an authority made for the run.
"$here/clover_mirror.sh" "$boot_file" "$scratch/mirror" 5151 3330 999 ||
    { echo "FAILED: no mirror"; exit 1; }
start_test_server "$scratch/mirror" --tls "$scratch/certs" ||
    { echo "FAILED: the test server did not start"; exit 1; }
export STICKFORGE_CLOVER_HOST=https://127.0.0.1:$server_port
export STICKFORGE_CA_FILE=$scratch/certs/ca.pem

"$cli" check-latest >"$scratch/out" 2>"$scratch/err"
check "check-latest exits 0" test $? -eq 0
check "and prints the distinct revisions, highest first" \
    test "$(cat "$scratch/out")" = "$(printf '5151\n3330\n999')"
check "the status line names the latest" says "Found Latest Clover r5151"

mkdir "$scratch/stick" "$scratch/repository"
"$cli" --set SaveLatestCloverAfterDL=1 --set CloverLocalRepository="$scratch/repository/" \
    install-clover "$scratch/stick" 2>"$scratch/err"
check "install-clover exits 0" test $? -eq 0
check "the boot file is the ISO's x64 boot6" \
    cmp -s "$scratch/stick/boot" "$scratch/stick/usr/standalone/i386/x64/boot6"
check "the EFI tree is there" test -f "$scratch/stick/EFI/CLOVER/CLOVERX64.efi"
check "with the OEM copies of config.plist" \
    test -f "$scratch/stick/EFI/CLOVER/OEM/SystemProductName/UEFI/config.plist"
check "and Clover's empty folders" test -d "$scratch/stick/EFI/CLOVER/kexts"
check "but not the ISO's boot image folder" test ! -e "$scratch/stick/[BOOT]"
check "the data set is kept in the repository" \
    test -s "$scratch/repository/CloverISO-5151.zip"
check "which names its revision" sh -c \
    "7zz x -so '$scratch/repository/CloverISO-5151.zip' boot | grep -aq 'Clover revision: 5151'"
check "no temporary folder is left" no_temp_folder

# Without the authority the mirror's certificate is refused: nothing is fetched.
mkdir "$scratch/unchecked"
STICKFORGE_CA_FILE= "$cli" install-clover "$scratch/unchecked" 2>"$scratch/err"
check "an unchecked certificate fails" test $? -ne 0
check "  and leaves the folder empty" test -z "$(ls -A "$scratch/unchecked")"
stop_test_server

# A listing whose latest archive is missing, one naming no archive, one whose archive
# holds no ISO.
mkdir -p "$scratch/missing/$iso" "$scratch/none/$iso" "$scratch/broken/$iso/CloverISO-4100.tar.lzma"
echo '<a href="CloverISO-4000.tar.lzma/download">CloverISO-4000.tar.lzma</a>' \
    >"$scratch/missing/$iso/index.html"
echo '<html>Nothing to see</html>' >"$scratch/none/$iso/index.html"
echo '<a href="CloverISO-4100.tar.lzma/download">CloverISO-4100.tar.lzma</a>' \
    >"$scratch/broken/$iso/index.html"
echo 'no tar in here' | xz --format=lzma >"$scratch/broken/$iso/CloverISO-4100.tar.lzma/download"
unset STICKFORGE_CA_FILE
for mirror in missing none broken; do
    start_test_server "$scratch/$mirror" || { echo "FAILED: no server for $mirror"; exit 1; }
    export STICKFORGE_CLOVER_HOST=http://127.0.0.1:$server_port
    rm -rf "$scratch/stick" && mkdir "$scratch/stick"
    "$cli" install-clover "$scratch/stick" 2>"$scratch/err"
    status=$?
    case $mirror in
    missing) check "a missing archive: its HTTP status" says "HTTP status code = 404" ;;
    none) check "a listing without archives: the box" \
        says "Not Found standart Clover archive distribution file:" ;;
    broken) check "an archive without an ISO: the box" \
        says "Error Extract Latest Clover Data Set." ;;
    esac
    check "  exits non-zero" test "$status" -ne 0
    check "  installs nothing" test -z "$(ls -A "$scratch/stick")"
    check "  and leaves no temporary folder" no_temp_folder
    stop_test_server
done

# Both sources on one server: SourceForge lists 5151, 3330 and 999; GitHub releases 5172,
# 5170 and 5151, and only 5172 has an archive (an ISO in a 7z, reached by a redirect).
both=$scratch/both
"$here/clover_mirror.sh" "$boot_file" "$both" 5151 3330 999 >/dev/null ||
    { echo "FAILED: no mirror"; exit 1; }
start_test_server "$both" --tls "$scratch/both-certs" ||
    { echo "FAILED: the test server did not start"; exit 1; }
base=https://127.0.0.1:$server_port
export STICKFORGE_CA_FILE=$scratch/both-certs/ca.pem STICKFORGE_CLOVER_HOST=$base     STICKFORGE_GITHUB_API=$base
github() { "$here/github_mirror.sh" "$@" "$boot_file" "$both" "$base" 5172 5170 5151; }
install() {
    rm -rf "$scratch/stick" && mkdir "$scratch/stick"
    "$cli" install-clover "$scratch/stick" 2>"$scratch/err"
}

github
"$cli" check-latest --sources >"$scratch/out" 2>"$scratch/err"
check "check-latest --sources merges both, highest first, with where each was found" \
    test "$(cat "$scratch/out")" = "$(printf '5172\tGitHub\n5170\tGitHub\n5151\tGitHub, SourceForge\n3330\tSourceForge\n999\tSourceForge')"
install
check "install-clover takes the latest from GitHub: exit 0" test $? -eq 0
check "  after checking its published SHA-256" \
    says "Clover r5172 matches the SHA-256 digest GitHub publishes"
check "  and its data set is in the folder" \
    sh -c "grep -aq 'Clover revision: 5172' '$scratch/stick/boot' &&
        test -f '$scratch/stick/EFI/CLOVER/drivers/off/Ps2MouseDxe.efi'"

github --digest wrong
install
check "an archive that does not match its digest: exit non-zero" test $? -ne 0
check "  the status says so" says "Digest Error: Clover r5172 does not match the SHA-256"
check "  nothing is installed and nothing left behind" \
    sh -c '[ -z "$(ls -A "$1")" ]' - "$scratch/stick"
check "  (no temporary folder)" no_temp_folder
github --digest none
install
check "an archive GitHub gives no digest for is installed: exit 0" test $? -eq 0
check "  saying it was not checked" says "GitHub publishes no SHA-256 digest, not checked"

for refusal in 403 429; do
    github --refuse $refusal
    "$cli" check-latest --sources >"$scratch/out" 2>"$scratch/err"
    check "GitHub answering $refusal: SourceForge's revisions alone, exit 0" \
        test "$(cut -f 1 "$scratch/out" | tr '\n' ' ')" = "5151 3330 999 "
    check "  the status line says so" \
        says "GitHub's API limit is reached (HTTP $refusal): revisions from SourceForge only"
done
github
STICKFORGE_GITHUB_API=http://127.0.0.1:1 "$cli" check-latest >"$scratch/out" 2>"$scratch/err"
check "GitHub unreachable: SourceForge's revisions alone" \
    sh -c '[ "$(head -n 1 "$1")" = 5151 ] && grep -q "revisions from SourceForge only" "$2"' - \
    "$scratch/out" "$scratch/err"
STICKFORGE_CLOVER_HOST=$base/nothing "$cli" check-latest --sources >"$scratch/out" \
    2>"$scratch/err"
check "SourceForge failing: GitHub's revisions alone" \
    test "$(cut -f 1 "$scratch/out" | tr '\n' ' ')" = "5172 5170 5151 "
check "  the status line says so" says \
    "SourceForge's listing was not read (HTTP status code = 404): revisions from GitHub only"
STICKFORGE_CLOVER_HOST=off "$cli" check-latest >"$scratch/out" 2>"$scratch/err"
check "SourceForge off: GitHub's revisions" test "$(head -n 1 "$scratch/out")" = 5172
STICKFORGE_GITHUB_API=off "$cli" check-latest >"$scratch/out" 2>"$scratch/err"
check "GitHub off: SourceForge's revisions" test "$(head -n 1 "$scratch/out")" = 5151
# Neither answering: the failed check, each source's failure on the status line.
neither() {
    case $1 in
    refused) github --refuse 403 ;;
    unreachable) export STICKFORGE_GITHUB_API=http://127.0.0.1:1 ;;
    esac
    STICKFORGE_CLOVER_HOST=$base/nothing "$cli" check-latest >"$scratch/out" 2>"$scratch/err"
    check "GitHub $1 and SourceForge 404: the check fails" test $? -ne 0
    check "  printing no revision" test ! -s "$scratch/out"
    check "  with SourceForge's failure on the status line" says "HTTP status code = 404"
    check "  and GitHub's" says "$2"
    export STICKFORGE_GITHUB_API=$base
}
neither refused "GitHub's API limit is reached (HTTP 403)"
neither unreachable "GitHub's releases were not read ("
stop_test_server
finish
