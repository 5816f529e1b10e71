#!/bin/sh
# The command-line tool as a user runs it: from its own folder, beside its settings file.
set -u
cli_built=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$cli_built" "$scratch/stickforge-cli"
cli="$scratch/stickforge-cli"
# shellcheck source=tests/check.sh
. "$(dirname "$0")/check.sh"

check "version" test "$("$cli" version)" = "Stickforge v2.1.2016.019 Beta"
check "help lists the verbs" sh -c "'$cli' --help | grep -q 'settings --save'"
check "no verb is a usage error" sh -c "! '$cli' 2>/dev/null"
check "unknown verb is a usage error" sh -c "'$cli' frobnicate 2>/dev/null; test \$? -eq 2"

"$cli" settings >"$scratch/printed"
check "settings start with the byte-order mark" sh -c "head -c 3 '$scratch/printed' | od -An -tx1 | grep -q 'ef bb bf'"
check "settings use CR LF" grep -q "$(printf 'InstallDataSet = DL\r')" "$scratch/printed"
check "printing writes no file" test ! -e "$scratch/stickforge.ini"

"$cli" --set WinX=7 --set bootpartitionsize=31 settings --save
check "--save writes the program's file" test -f "$scratch/stickforge.ini"
check "--set overrides after loading" grep -q "$(printf 'WinX = 7\r')" "$scratch/stickforge.ini"
check "--set passes the load check" grep -q "$(printf 'BootPartitionSize = 200\r')" "$scratch/stickforge.ini"
"$cli" settings >"$scratch/again"
check "the saved file reads back byte for byte" cmp -s "$scratch/stickforge.ini" "$scratch/again"
check "unknown --set key is refused" sh -c "'$cli' --set NoSuchKey=1 settings 2>/dev/null; test \$? -eq 2"

"$cli" list >"$scratch/list" 2>"$scratch/list-status"
check "list runs" test $? -eq 0
check "list lines are index, tab, text" sh -c "! grep -qv '^[0-9][0-9]*	' '$scratch/list'"
check "list keeps its status lines off stdout" sh -c "! grep -q 'USB Flash Drive' '$scratch/list'"
check "list shows its hint on stderr" grep -q "USB Flash Drive\|disks can be listed" "$scratch/list-status"
check "eject of a line that is not there fails" sh -c "'$cli' eject 999 2>/dev/null; test \$? -eq 1"
check "image needs an action" sh -c "'$cli' image 2>/dev/null; test \$? -eq 2"
"$cli" image create "$scratch/disk.img" 64M
check "image create makes a file of that size" test "$(stat -c %s "$scratch/disk.img")" -eq 67108864
check "image create makes it sparse" test "$(stat -c %b "$scratch/disk.img")" -lt 1000

finish
