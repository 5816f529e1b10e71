#!/bin/sh
# recovery online and online-download as a user runs them, against the stand-in of
# Apple's Internet Recovery server on 127.0.0.1: the table, a fetch through drops and a
# corrupted chunk, refused chunk lists, and the shipped tool, which trusts Apple's key
# alone, refusing the test key's list.
# Usage: internet_recovery_cli.sh TEST-KEY-CLI SHIPPED-CLI FIXTURE-TOOL KEY SOURCE-FOLDER
set -u
test_key_cli=$1
shipped_cli=$2
fixture_tool=$3
key=$4
source=$5
scratch=$(mktemp -d)
test_server_py=$source/tests/server/http_test_server.py
# shellcheck source=tests/server/server.sh
. "$source/tests/server/server.sh"
trap 'stop_test_server; rm -rf "$scratch"' EXIT
# shellcheck source=tests/check.sh
. "$source/tests/check.sh"
show_failure() { sed 's/^/    | /' "$scratch/out" "$scratch/err" | tail -n 15; }
command -v 7zz >/dev/null || { echo "SKIPPED: 7zz is missing"; exit 77; }
sh "$source/tests/recovery/make_recovery_package.sh" "$fixture_tool" "$scratch/fixture" \
    >/dev/null || exit $?

# The stand-in with the given options, serving the fixture's BaseSystem.dmg.
start_server() {
    stop_test_server
    rm -f "$scratch/log"
    start_recovery_server "$scratch/fixture/BaseSystem.dmg" "$key" --chunk-size 65536 \
        --log "$scratch/log" "$@" || { echo "FAILED: the stand-in did not start"; exit 1; }
    export STICKFORGE_RECOVERY_HOST=http://127.0.0.1:$server_port
}

export TMPDIR="$scratch/tmp"
mkdir -p "$TMPDIR" "$scratch/images"
cli() { "$test_key_cli" --yes --set "SFKImageLocalRepo=$scratch/images" "$@" >"$scratch/out" 2>"$scratch/err"; }

cli recovery online
check "recovery online prints the table, newest first" \
    sh -c 'head -n 1 "$1" | grep -qx "macOS Tahoe 26	Mac-CFF7D910A743CAAF	latest	00000000000000000"' \
    - "$scratch/out"
check "  with Sequoia's board ID" grep -qx \
    "macOS Sequoia 15	Mac-7BA5B2D9E42DDD94	default	00000000000000000" "$scratch/out"

# The first answer breaks off in chunk 3, whose resumed answer holds the corrupted byte.
start_server --drop-at 150000 --drops 1 --corrupt-chunk 3
cli recovery online-download Mac-7BA5B2D9E42DDD94 --latest
check "online-download through a drop and a corrupted chunk exits 0" test $? -eq 0
image=$(cat "$scratch/out")
check "  and prints the image's path in a folder of the product" \
    sh -c 'case "$1" in "$2"/041-*/2.hfs) exit 0;; esac; exit 1' - "$image" "$scratch/images"
check "  the image is the HFS+ partition of BaseSystem.dmg" cmp -s "$image" "$scratch/fixture/base.hfs"
check "  the request asked for the board's latest image with the zero serial" grep -q \
    "^POST .* -> 200 sent=0 cid=[0-9A-F]* sn=00000000000000000 bid=Mac-7BA5B2D9E42DDD94 .* os=latest$" \
    "$scratch/log"
check "  resumed after the drop, then the corrupted chunk fetched again by range" sh -c \
    '[ "$(grep -o "^GET /assets/BaseSystem.dmg range=[^ ]*" "$1" | cut -d" " -f3)" = \
       "$(printf "range=-\nrange=bytes=150000-%s\nrange=bytes=131072-%s" "$2" "$2")" ]' \
    - "$scratch/log" "$(($(wc -c <"$scratch/fixture/BaseSystem.dmg") - 1))"

for signature in digest bad; do
    start_server --signature "$signature"
    rm -rf "$scratch/images"/*
    cli recovery online-download Mac-7BA5B2D9E42DDD94
    check "a chunk list signed \"$signature\" exits 1" test $? -eq 1
    check "  and fetches no image" sh -c '! grep -q "^GET /assets/BaseSystem.dmg" "$1"' - "$scratch/log"
done

start_server
"$shipped_cli" --yes --set "SFKImageLocalRepo=$scratch/images" \
    recovery online-download Mac-7BA5B2D9E42DDD94 >"$scratch/out" 2>"$scratch/err"
check "the shipped tool refuses the test key's chunk list" test $? -eq 1
check "  as not signed by Apple" \
    grep -q "Internet Recovery ... Error: BaseSystem.chunklist is not signed by Apple" "$scratch/err"

cli recovery online-download mac-7ba5
check "a malformed board ID is a usage error" test $? -eq 2
cli recovery online-download Mac-7BA5B2D9E42DDD94 --mlb short
check "a malformed serial is a usage error" test $? -eq 2
finish
