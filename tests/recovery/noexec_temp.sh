#!/bin/sh
# extract-dmg and the recovery script where no temporary place lets a program run: /run,
# /tmp and /var/tmp remounted noexec in a mount namespace of their own (a common hardening,
# here everywhere at once). The system's 7zz stands in for the packed one; without it a
# status line says why, before the "Can't open" box. Root only.
# Usage: noexec_temp.sh CLI FIXTURE-TOOL SOURCE-FOLDER
set -u
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: needs root for mounts"; exit 77; }
for tool in unshare 7zz; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing"; exit 77; }
done
cli_built=$1
fixture_tool=$2
source=$3
scratch=$(mktemp -d)
# The program itself runs from the build tree, which stays executable.
app=$(mktemp -d "$PWD/noexec-app.XXXXXX")
trap 'rm -rf "$scratch" "$app"' EXIT
# shellcheck source=tests/check.sh
. "$source/tests/check.sh"
show_failure() { sed 's/^/    | /' "$scratch/err" | tail -n 15; }
sh "$source/tests/recovery/make_recovery_package.sh" "$fixture_tool" "$scratch/fixture" \
    >/dev/null || exit $?
cp "$cli_built" "$app/stickforge-cli"
mkdir -p "$scratch/tmp" "$scratch/out" "$scratch/script"
cp "$source/data/scripts/unpack_rechdupdate_pkg.sh" "$scratch/fixture/RecoveryHDUpdate.pkg" \
    "$scratch/script/"
cp "$(command -v 7zz)" "$scratch/script/7zz"

# Runs the command in the namespace with the PATH given; sets status.
noexec() {
    path=$1
    shift
    unshare --mount --propagation private sh -c '
        for folder in /run /tmp /var/tmp; do
            mount --bind "$folder" "$folder" && mount -o remount,bind,noexec "$folder" ||
                exit 90
        done
        PATH=$0 exec "$@"' "$path" "$@" >"$scratch/out.txt" 2>"$scratch/err"
    status=$?
}

export TMPDIR="$scratch/tmp"
noexec /nonexistent "$app/stickforge-cli" --yes extract-dmg "$scratch/fixture/BaseSystem.dmg" \
    "$scratch/out"
check "extract-dmg with no place to run 7zz and no system 7zz exits 1" test "$status" -eq 1
check "  a status line says why" grep -q "Can't run 7zz: .* lets no program run (noexec) and the system has no 7zz" "$scratch/err"
check "  then the box" grep -q "Can't open \"BaseSystem.dmg\"" "$scratch/err"
noexec /usr/bin:/bin "$app/stickforge-cli" --yes extract-dmg \
    "$scratch/fixture/BaseSystem.dmg" "$scratch/out"
check "extract-dmg with the system's 7zz exits 0" test "$status" -eq 0
check "  the HFS+ partition" cmp -s "$scratch/out/2.hfs" "$scratch/fixture/base.hfs"
check "  and no temporary folder stays" \
    sh -c '[ -z "$(find "$1" -name "SFKTemp*")" ]' - "$TMPDIR"

rm -f "$scratch/out/2.hfs"
cd "$scratch/script" || exit 1
noexec /usr/bin:/bin sh unpack_rechdupdate_pkg.sh RecoveryHDUpdate.pkg "$scratch/out"
cd - >/dev/null || exit 1
check "the recovery script uses the system's 7zz when the one beside it cannot run" \
    test "$status" -eq 0
check "  the HFS+ partition" cmp -s "$scratch/out/2.hfs" "$scratch/fixture/base.hfs"
finish
