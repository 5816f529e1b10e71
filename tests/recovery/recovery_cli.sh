#!/bin/sh
# stickforge-cli's recovery verbs and extract-dmg as a user runs them, against a catalog,
# its metadata and a Recovery-like package served on 127.0.0.1.
# Usage: recovery_cli.sh CLI FIXTURE-TOOL SOURCE-FOLDER
set -u
cli_built=$1
fixture_tool=$2
source=$3
scratch=$(mktemp -d)
test_server_py=$source/tests/server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$source/tests/server/server.sh"
trap 'stop_test_server; rm -rf "$scratch"' EXIT
# shellcheck source=tests/check.sh
. "$source/tests/check.sh"
# shellcheck source=tests/recovery/recovery_site.sh
. "$source/tests/recovery/recovery_site.sh"
show_failure() { sed 's/^/    | /' "$scratch/out" "$scratch/err" | tail -n 15; }
command -v 7zz >/dev/null || { echo "SKIPPED: 7zz is missing"; exit 77; }
sh "$source/tests/recovery/make_recovery_package.sh" "$fixture_tool" "$scratch/fixture" || exit $?

# The program's temporary folders, and the removal of old ones, stay in the scratch folder.
export TMPDIR="$scratch/tmp"
mkdir -p "$TMPDIR"
# The list holds Internet Recovery items too: no entry may reach Apple's server.
export STICKFORGE_RECOVERY_HOST=http://127.0.0.1:9
cp "$cli_built" "$scratch/stickforge-cli"
cli() { "$scratch/stickforge-cli" --yes "$@" >"$scratch/out" 2>"$scratch/err"; }

www=$scratch/www
mkdir -p "$www/031-1"
cp "$scratch/fixture/RecoveryHDUpdate.pkg" "$www/031-1/"
size=$(wc -c <"$www/031-1/RecoveryHDUpdate.pkg")
digest=$(sha1sum "$www/031-1/RecoveryHDUpdate.pkg" | cut -d' ' -f1)
start_test_server "$www" || { echo "FAILED: the test server did not start"; exit 1; }
url=http://127.0.0.1:$server_port

make_recovery_site "$www" "$url" "$digest" "$size"

tab=$(printf '\t')
first="0${tab}(15A204h) OS X Recovery HD Update 2015-09-16 199 KB"
# The catalog's two entries, then one Internet Recovery item per row of the table.
{
    printf '%s\n1\tOlder Recovery\n' "$first"
    grep -v '^#' "$source/data/recovery/internet_recovery.tsv" |
        awk -F '\t' '{ printf "%d\t%s (Internet Recovery)\n", NR + 1, $1 }'
} >"$scratch/list"
cli --set "SUCatalogURL=$url/catalog.xml" recovery update
check "recovery update exits 0" test $? -eq 0
check "  and prints the list" cmp -s "$scratch/list" "$scratch/out"
check "  with the status texts" grep -q "Update RecoveryHD List ... OK" "$scratch/err"
check "  the settings file keeps an Internet Recovery item as Title = address" grep -q \
    "^macOS Sequoia 15 (Internet Recovery) = http://osrecovery.apple.com/InstallationPayload/" \
    "$scratch/stickforge.ini"
cli recovery list
check "recovery list reads the saved list back" cmp -s "$scratch/list" "$scratch/out"

mkdir -p "$scratch/image folder"
# A later run knows the catalog's size and digest from the settings file alone.
cp "$www/031-1/RecoveryHDUpdate.pkg" "$scratch/package"
printf x >>"$www/031-1/RecoveryHDUpdate.pkg"
cli --set "SFKImageLocalRepo=$scratch/image folder" recovery download 0
check "recovery download of a package unlike the catalog's exits 1" test $? -eq 1
check "  and says so" grep -q "Size Error: RecoveryHDUpdate.pkg has $((size + 1)) bytes" "$scratch/err"
check "  and extracts nothing" sh -c '[ -z "$(ls "$1")" ]' - "$scratch/image folder"
cp "$scratch/package" "$www/031-1/RecoveryHDUpdate.pkg"
cli --set "SFKImageLocalRepo=$scratch/image folder" recovery download 0
check "recovery download exits 0" test $? -eq 0
check "  and prints the image's path" grep -qx "$scratch/image folder/2.hfs" "$scratch/out"
check "  the image is the package's HFS+ partition" \
    cmp -s "$scratch/image folder/2.hfs" "$scratch/fixture/base.hfs"
check "  the summary box" grep -q "Extract HFS-Image from HD Recovery file ................. Success" \
    "$scratch/err"
cli recovery download "$(wc -l <"$scratch/list")"
check "recovery download of an entry not in the list exits 1" test $? -eq 1
cli recovery download x
check "recovery download of no number is a usage error" test $? -eq 2

mkdir -p "$scratch/dmg folder" "$scratch/out folder"
cp "$scratch/fixture/BaseSystem.dmg" "$scratch/dmg folder/Base System.dmg"
cli extract-dmg "$scratch/dmg folder/Base System.dmg" "$scratch/out folder/"
check "extract-dmg with spaces and a closing separator exits 0" test $? -eq 0
check "  the HFS+ partition" cmp -s "$scratch/out folder/2.hfs" "$scratch/fixture/base.hfs"
check "  and the box" grep -q "HFS volume Extracted." "$scratch/err"
echo "an older image" >"$scratch/out folder/2.hfs"
"$scratch/stickforge-cli" extract-dmg "$scratch/dmg folder/Base System.dmg" "$scratch/out folder" \
    </dev/null >"$scratch/out" 2>"$scratch/err"
check "extract-dmg over an image of the same name, without --yes, exits 1" test $? -eq 1
check "  and leaves that image as it was" grep -qx "an older image" "$scratch/out folder/2.hfs"
cli extract-dmg "$scratch/dmg folder/Base System.dmg" "$scratch/out folder"
check "  with --yes it replaces it" cmp -s "$scratch/out folder/2.hfs" "$scratch/fixture/base.hfs"
echo "not a disk image" >"$scratch/dmg folder/not a dmg.dmg"
cli extract-dmg "$scratch/dmg folder/not a dmg.dmg" "$scratch/out folder"
check "extract-dmg of no DMG exits 1" test $? -eq 1
check "  and names the file only" grep -q "Can't open \"not a dmg.dmg\"" "$scratch/err"
cli extract-dmg "$scratch/fixture/Empty.dmg" "$scratch/fixture"
check "extract-dmg of a DMG without an HFS partition exits 1" test $? -eq 1
check "  and leaves no temporary folder" sh -c '[ -z "$(find "$TMPDIR" -name "SFKTemp*")" ]'
finish
