#!/bin/sh
# The fixdsdt and hfs-drivers verbs of the command-line tool, beside a settings file and
# registry stand-in of their own.
set -u
cli_built=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$cli_built" "$scratch/stickforge-cli"
cli="$scratch/stickforge-cli"
export STICKFORGE_REGISTRY="$scratch/state/registry"
export TMPDIR="$scratch"
# shellcheck source=tests/check.sh
. "$(dirname "$0")/../check.sh"

"$cli" fixdsdt >"$scratch/out"
check "fixdsdt prints the default mask" test "$(sed -n 1p "$scratch/out")" = "0x87E7FBF1"
check "then its binary text" test "$(sed -n 2p "$scratch/out")" = "10000111111001111111101111110001"
check "then the set bits by name" test "$(sed -n '3p;$p' "$scratch/out" | tr '\n' ' ')" = "AddDTGP NewWay "
check "printing saves nothing" test ! -e "$scratch/stickforge.ini"

"$cli" fixdsdt -NewWay >"$scratch/out"
check "unticking NewWay cuts the mask to 16 bits" test "$(head -n 1 "$scratch/out")" = "0x0000FBF1"
check "and saves it" grep -q "$(printf 'FixDsdtMask = 0x0000FBF1\r')" "$scratch/stickforge.ini"
check "a box that NewWay disables is refused" sh -c "'$cli' fixdsdt +DARWIN 2>/dev/null; test \$? -eq 1"
check "the refusal changed nothing" test "$("$cli" fixdsdt | head -n 1)" = "0x0000FBF1"
"$cli" fixdsdt +NewWay +DARWIN +Darwin >"$scratch/out"
check "boxes click in order" test "$(head -n 1 "$scratch/out")" = "0x8001FBF3"
check "an unknown box is a usage error" sh -c "'$cli' fixdsdt +darwin 2>/dev/null; test \$? -eq 2"
check "a reserved box has no name" sh -c "'$cli' fixdsdt '+Not yet used' 2>/dev/null; test \$? -eq 2"
check "full leaves the reserved bits clear" test "$("$cli" fixdsdt full | head -n 1)" = "0x9FFFFFFF"
check "clear" test "$("$cli" fixdsdt clear | sed -n 2p)" = "00000000000000000000000000000000"
check "a mask in hexadecimal" test "$("$cli" fixdsdt 0x12ab | head -n 1)" = "0x000012AB"
check "a malformed mask is refused" sh -c "'$cli' fixdsdt 0x123456789 2>/dev/null; test \$? -eq 2"
check "default" test "$("$cli" fixdsdt default | head -n 1)" = "0x87E7FBF1"

# Linux reads HFS+ by itself: the driver verbs say so, change nothing and are no success.
check "HFS+ is built in" test "$("$cli" hfs-drivers status)" = "built in"
for action in install remove; do
    "$cli" --yes hfs-drivers $action >"$scratch/out" 2>&1
    status=$?
    check "hfs-drivers $action is no success" test "$status" -eq 1
    check "hfs-drivers $action says why" grep -q "reads HFS+ partitions by itself" "$scratch/out"
    check "hfs-drivers $action pretends nothing" \
        sh -c "! grep -q 'restart the computer\|Failed' '$scratch/out'"
done
check "the HFS+ verbs wrote nothing" test ! -e "$scratch/state"
check "hfs-drivers needs an action" sh -c "'$cli' hfs-drivers 2>/dev/null; test \$? -eq 2"

finish
