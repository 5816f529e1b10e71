#!/bin/sh
# The program's second main path end to end (root): a virtual stick formatted with two
# partitions, a Recovery HD package listed by a catalog on 127.0.0.1 downloaded and
# extracted, and its HFS+ image restored onto partition 2, checked byte for byte.
# Usage: recovery_stick.sh CLI FIXTURE-TOOL SOURCE-FOLDER
# Exit 77 (skipped) when not root or a tool is missing.
set -u
cli_built=$1
fixture_tool=$2
source=$3
PATH=$PATH:/usr/sbin:/sbin
[ "$(id -u)" = 0 ] || { echo "SKIPPED: needs root for loop devices"; exit 77; }
for tool in sfdisk 7zz xorriso bsdtar mkfs.fat; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing"; exit 77; }
done
scratch=$(mktemp -d)
device=
test_server_py=$source/tests/server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$source/tests/server/server.sh"
cleanup() {
    stop_test_server
    [ -n "$device" ] && "$scratch/stickforge-cli" image detach "$device"
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
# shellcheck source=tests/check.sh
. "$source/tests/check.sh"
# shellcheck source=tests/recovery/recovery_site.sh
. "$source/tests/recovery/recovery_site.sh"
show_failure() { sed 's/^/    | /' "$scratch/out" | tail -n 15; }

sh "$source/tests/recovery/make_recovery_package.sh" "$fixture_tool" "$scratch/fixture" \
    >/dev/null || exit $?
export TMPDIR="$scratch/tmp"
mkdir -p "$TMPDIR" "$scratch/images" "$scratch/www/031-1"
cp "$cli_built" "$scratch/stickforge-cli"
cli() { "$scratch/stickforge-cli" --yes --set EnableFixedDisks=1 "$@" >"$scratch/out" 2>&1; }
cp "$scratch/fixture/RecoveryHDUpdate.pkg" "$scratch/www/031-1/"
start_test_server "$scratch/www" || { echo "FAILED: the test server did not start"; exit 1; }
url=http://127.0.0.1:$server_port
make_recovery_site "$scratch/www" "$url" \
    "$(sha1sum "$scratch/fixture/RecoveryHDUpdate.pkg" | cut -d' ' -f1)" \
    "$(wc -c <"$scratch/fixture/RecoveryHDUpdate.pkg")"

"$scratch/stickforge-cli" image create "$scratch/stick.img" 512M >/dev/null
device=$("$scratch/stickforge-cli" image attach "$scratch/stick.img")
check "a virtual stick" test -b "$device"
[ -b "$device" ] || finish
cli --set MultiPartitions=1 --set InstallDataSet=Not_Install format "$device"
check "format with two partitions reaches All done" grep -qx "All done" "$scratch/out"
check "  two partitions" test "$(sfdisk -d "$device" | grep -c "^$device")" -eq 2

cli --set "SUCatalogURL=$url/catalog.xml" recovery update
check "recovery update lists the package" grep -q "^0	(15A204h) OS X Recovery HD Update" \
    "$scratch/out"
cli --set "SFKImageLocalRepo=$scratch/images" recovery download 0
check "recovery download extracts the image" test -f "$scratch/images/2.hfs"
image=$scratch/images/2.hfs
check "  the fixture's HFS+ image" cmp -s "$image" "$scratch/fixture/base.hfs"

cli restore "$device" "$image" --partition 2 --verify
check "restore onto partition 2 ends well" test $? -eq 0
# The second entry's start sector, as sfdisk lists the table.
start=$(sfdisk -d "$device" | grep "^$device" | sed -n '2s/.*start= *\([0-9]*\).*/\1/p')
bytes=$(wc -c <"$image")
dd if="$device" bs=512 skip="$start" count=$(((bytes + 511) / 512)) 2>/dev/null |
    head -c "$bytes" >"$scratch/partition2"
check "partition 2 holds the image byte for byte" cmp -s "$scratch/partition2" "$image"
check "  and its MBR entry is type 0xAF" test "$(sfdisk --part-type "$device" 2 | tr a-f A-F)" = AF
finish
