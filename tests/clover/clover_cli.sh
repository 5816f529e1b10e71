#!/bin/sh
# stickforge-cli check-latest and install-clover against mirrors of the Clover project's
# ISO folder on the loopback test server: the revisions of the listing, the data set in a
# folder and in the local repository, and each failure with its text, a non-zero exit
# and no temporary folder left behind. Exit 77 when a fixture tool is missing.
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
finish
