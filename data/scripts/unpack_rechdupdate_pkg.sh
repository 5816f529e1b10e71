#!/bin/sh
# Extracts the HFS+ partition image of a Recovery HD update package; the steps, arguments
# and exit codes of Unpack_RecHDUpdate_pkg.bat.
# Usage: sh unpack_rechdupdate_pkg.sh RecoveryHDUpdate.pkg [output-folder]
#   Runs in the current folder, which receives the intermediate images: the package (a
#   xar archive) holds RecoveryHDMeta.dmg, whose volume holds BaseSystem.dmg, whose HFS+
#   partition is written to the output folder (default: the current folder) as N.hfs.
# Exit codes: 0 done, 1 no package named, 2 package not found, 3 output folder not found,
#   4 an extraction failed ("Extract Error").
# The archiver is 7zz beside this script when it can run there (the program unpacks it
# there; a folder mounted noexec lets it not), else 7zz on the PATH. Its wildcards are
# quoted: 7-Zip expands them, not the shell.
here=$(cd -- "$(dirname -- "$0")" && pwd)
chmod u+x "$here/7zz" 2>/dev/null
if [ -f "$here/7zz" ] && [ -x "$here/7zz" ]; then
    sevenzip=$here/7zz
else
    sevenzip=7zz
fi

if [ -z "${1:-}" ]; then
    echo "Usage: $(basename -- "$0") RecoveryHDUpdate.pkg"
    exit 1
fi
if [ ! -e "$1" ]; then
    echo "Archive: \"$1\" not found"
    exit 2
fi
output=${2:-.}
if [ ! -e "$output" ]; then
    echo "Output Directory: \"$2\" not found"
    exit 3
fi

extract_error() {
    echo "Extract Error"
    exit 4
}
"$sevenzip" e -w -r -txar -y -- "$1" RecoveryHDMeta.dmg || extract_error
"$sevenzip" e -w -r -y -- RecoveryHDMeta.dmg BaseSystem.dmg || extract_error
rm -f RecoveryHDMeta.dmg
"$sevenzip" e -w -tdmg -o"$output" -y -- BaseSystem.dmg '*.hfs' || extract_error
rm -f BaseSystem.dmg
exit 0
