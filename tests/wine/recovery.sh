#!/bin/sh
# stickforge-cli.exe under Wine: recovery update and recovery download through WinINet
# from a loopback server, the packed 7z.exe and the batch script; recovery online-download
# through WinINet and BCrypt against the stand-in of Apple's Internet Recovery server (the
# test key's tool); extract-dmg with 7z.exe; the Download Tool window of stickforge.exe,
# its controls' places and a screenshot.
# Usage: recovery.sh WINDOWS-BUILD LINUX-BUILD ARTIFACT-FOLDER
#   (in the caller's WINEPREFIX and X display)
set -u
windows_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
artifacts=$3
repo=$(cd "$(dirname "$0")/../.." && pwd)
wine=$(command -v wine || echo /usr/lib/wine/wine64)
scratch=$(mktemp -d)
test_server_py=$repo/tests/server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$repo/tests/server/server.sh"
trap 'stop_test_server; rm -rf "$scratch"' EXIT
# shellcheck source=tests/check.sh
. "$repo/tests/check.sh"
# shellcheck source=tests/recovery/recovery_site.sh
. "$repo/tests/recovery/recovery_site.sh"
show_failure() { tr -d '\r' <"$scratch/err" | sed 's/^/    | /' | tail -n 15; }
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
cli() {
    (cd "$scratch/app" && "$wine" stickforge-cli.exe --yes "$@") >"$scratch/out" 2>"$scratch/err"
    status=$?
    tr -d '\r' <"$scratch/out" >"$scratch/out.txt"
}

sh "$repo/tests/recovery/make_recovery_package.sh" "$linux_build/tests/archiver/archive_fixture" \
    "$scratch/fixture" >/dev/null || exit $?
mkdir -p "$scratch/app" "$scratch/www/031-1" "$scratch/image folder" "$scratch/out folder"
cp "$windows_build/stickforge-cli.exe" "$scratch/app/"
cp "$scratch/fixture/RecoveryHDUpdate.pkg" "$scratch/www/031-1/"
start_test_server "$scratch/www" || { echo "FAILED: the test server did not start"; exit 1; }
url=http://127.0.0.1:$server_port
make_recovery_site "$scratch/www" "$url" \
    "$(sha1sum "$scratch/fixture/RecoveryHDUpdate.pkg" | cut -d' ' -f1)" \
    "$(wc -c <"$scratch/fixture/RecoveryHDUpdate.pkg")"

# The catalog's two entries, then one Internet Recovery item per row of the table.
{
    printf '0\t(15A204h) OS X Recovery HD Update 2015-09-16 199 KB\n1\tOlder Recovery\n'
    grep -v '^#' "$repo/data/recovery/internet_recovery.tsv" |
        awk -F '\t' '{ printf "%d\t%s (Internet Recovery)\n", NR + 1, $1 }'
} >"$scratch/list"
cli --set "SUCatalogURL=$url/catalog.xml" recovery update
check "Wine: recovery update exits 0" test "$status" -eq 0
check "  and lists the packages with their titles, then the Internet Recovery items" \
    cmp -s "$scratch/list" "$scratch/out.txt"

images=$(windows_path "$scratch/image folder/")
# The second run knows the catalog's size and digest from the settings file alone.
cp "$scratch/www/031-1/RecoveryHDUpdate.pkg" "$scratch/package"
printf x >>"$scratch/www/031-1/RecoveryHDUpdate.pkg"
cli --set "SFKImageLocalRepo=$images" recovery download 0
check "Wine: recovery download of a package unlike the catalog's exits 1" test "$status" -eq 1
check "  and says so" grep -q "Size Error: RecoveryHDUpdate.pkg has" "$scratch/err"
cp "$scratch/package" "$scratch/www/031-1/RecoveryHDUpdate.pkg"
cli --set "SFKImageLocalRepo=$images" recovery download 0
check "Wine: recovery download exits 0" test "$status" -eq 0
check "  and prints the image's path" grep -qxF "${images}2.hfs" "$scratch/out.txt"
check "  the image is the package's HFS+ partition" \
    cmp -s "$scratch/image folder/2.hfs" "$scratch/fixture/base.hfs"

# Internet Recovery: a drop, then a corrupted chunk in the resumed answer.
stop_test_server
start_recovery_server "$scratch/fixture/BaseSystem.dmg" "$windows_build/chunklist-test-key/key.pem" \
    --chunk-size 65536 --drop-at 150000 --drops 1 --corrupt-chunk 3 --log "$scratch/online.log" ||
    { echo "FAILED: the stand-in did not start"; exit 1; }
mkdir -p "$scratch/online images" "$scratch/test-key"
cp "$windows_build/test-key/stickforge-cli.exe" "$scratch/test-key/"
online=$(windows_path "$scratch/online images")
(cd "$scratch/test-key" && STICKFORGE_RECOVERY_HOST=http://127.0.0.1:$server_port "$wine" \
    stickforge-cli.exe --yes --set "SFKImageLocalRepo=$online" \
    recovery online-download Mac-7BA5B2D9E42DDD94) >"$scratch/out" 2>"$scratch/err"
status=$?
tr -d '\r' <"$scratch/out" >"$scratch/out.txt"
check "Wine: recovery online-download exits 0" test "$status" -eq 0
check "  and prints the image's path in a folder of the product" \
    grep -q '^Z:.*\\041-[0-9]*\\2\.hfs$' "$scratch/out.txt"
check "  the image is the HFS+ partition of BaseSystem.dmg" \
    cmp -s "$(echo "$scratch/online images"/041-*/2.hfs)" "$scratch/fixture/base.hfs"
check "  resumed after the drop, the corrupted chunk fetched again by range" sh -c \
    '[ "$(grep -o "^GET /assets/BaseSystem.dmg range=bytes=[0-9]*" "$1" | cut -d= -f3)" = \
       "$(printf "150000\n131072")" ]' - "$scratch/online.log"
(cd "$scratch/app" && STICKFORGE_RECOVERY_HOST=http://127.0.0.1:$server_port "$wine" \
    stickforge-cli.exe --yes --set "SFKImageLocalRepo=$online" \
    recovery online-download Mac-7BA5B2D9E42DDD94) >"$scratch/out" 2>"$scratch/err"
check "Wine: the shipped tool refuses the test key's chunk list" test $? -eq 1
check "  as not signed by Apple" \
    grep -q "Internet Recovery ... Error: BaseSystem.chunklist is not signed by Apple" "$scratch/err"
stop_test_server

cp "$scratch/fixture/BaseSystem.dmg" "$scratch/Base System.dmg"
cli extract-dmg "$(windows_path "$scratch/Base System.dmg")" "$(windows_path "$scratch/out folder/")"
check "Wine: extract-dmg with spaces and a closing backslash exits 0" test "$status" -eq 0
check "  the HFS+ partition" cmp -s "$scratch/out folder/2.hfs" "$scratch/fixture/base.hfs"
cli extract-dmg "$(windows_path "$scratch/fixture/Empty.dmg")" "$(windows_path "$scratch/out folder")"
check "Wine: extract-dmg of a DMG without an HFS partition exits 1" test "$status" -eq 1

# The window, with the list the update saved: x y w h of each control as the table has them.
probe() { "$wine" "$windows_build/window_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
cp "$windows_build/stickforge.exe" "$scratch/app/"
(cd "$scratch/app" && "$wine" stickforge.exe) >/dev/null 2>&1 &
main="Stickforge v2.1.2016.019 Beta by Ormund"
tool="Download Tool - $main"
probe wait "$main" >/dev/null
probe press "$main" "DL HD Recovery"
probe rects "$tool" >"$scratch/rects"
check "Wine: the Download Tool opens with its title" test -s "$scratch/rects"
has_rect() { grep -q "^$3	$1	$2$" "$scratch/rects"; }
check "  caption at 10 10 420 50" has_rect Static "HD Recovery for MAC OS X:" "10 10 420 50"
check "  Cancel at 20 65 70 20" has_rect Button Cancel "20 65 70 20"
check "  Update List at 95 65 70 20" has_rect Button "Update List" "95 65 70 20"
check "  OK at 320 65 100 20" has_rect Button OK "320 65 100 20"
check "  the list at 20 30, 400 wide, its first entry shown" \
    grep -q "^20 30 400 [0-9]*	ComboBox	(15A204h) OS X Recovery HD Update 2015-09-16 199 KB$" \
    "$scratch/rects"
probe items "$tool" >"$scratch/items"
check "  the list holds every entry the update saved, in its order" \
    sh -c 'cut -f 2 "$1" | cmp -s - "$2"' - "$scratch/list" "$scratch/items"
import -window root "$artifacts/download-tool-win32.png"
probe press "$tool" Cancel
probe gone "$tool"
check "  Cancel closes it" test $? -eq 0
probe press "$main" Exit
probe gone "$main"
check "Wine: Exit ends the program" test $? -eq 0
finish
