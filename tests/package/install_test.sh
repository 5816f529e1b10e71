#!/bin/sh
# The Debian package as a user meets it (root; skipped otherwise): installed with apt-get,
# both programs run from /usr/bin by a new normal user and by root; the menu entry, the
# AppStream data and the man pages pass their checkers; the launcher asks pkexec for exactly
# the program of the polkit action; the settings land in the starting user's folder and
# belong to that user, also when root runs for them through pkexec; removing the package
# leaves nothing in /usr.
# Usage: install_test.sh PACKAGE.deb
set -u
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: the package test installs packages and adds a user (needs root)"
    exit 77
fi
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
repo=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/check.sh
. "$repo/tests/check.sh"
"$repo/scripts/install-packages.sh" desktop-file-utils appstream man-db bsdextrautils

user=sfcheck$$
scratch=$(mktemp -d)
cleanup() {
    userdel -r "$user" 2>/dev/null
    rm -rf "$scratch"
    dpkg -s stickforge >/dev/null 2>&1 && apt-get purge -y -qq stickforge >/dev/null 2>&1
}
trap cleanup EXIT
useradd -m -s /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
uid=$(id -u "$user")
# The user's commands run in a login-like environment of their own.
as_user() { runuser -u "$user" -- env -i HOME="$home" USER="$user" PATH=/usr/bin:/bin "$@"; }
owner_of() { stat -c %U "$1"; }

dpkg -s stickforge >/dev/null 2>&1 && apt-get purge -y -qq stickforge >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$scratch/apt" 2>&1
check "apt-get installs the package" test $? -eq 0 || cat "$scratch/apt"
dpkg -L stickforge >"$scratch/files"

version=$(dpkg-deb -f "$deb" Version)
# Root's own folders in the scratch folder, so that the test leaves nothing in /root.
as_root() { env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$scratch/root" "$@"; }
for who in user root; do
    run=as_user
    [ "$who" = root ] && run=as_root
    $run /usr/bin/stickforge-cli version >"$scratch/version" 2>&1
    check "$who: stickforge-cli version from /usr/bin" grep -q "^Stickforge v" "$scratch/version"
    $run /usr/bin/stickforge-cli list >/dev/null 2>&1
    check "$who: stickforge-cli list from /usr/bin" test $? -eq 0
done

# An installed copy keeps its settings in the starting user's folders, that user's.
settings=$home/.config/stickforge/stickforge.ini
as_user /usr/bin/stickforge-cli settings --save >/dev/null 2>&1
check "user: settings --save writes $settings" test -f "$settings"
check "  ... owned by $user" test "$(owner_of "$settings" 2>/dev/null)" = "$user"
rm -rf "$home/.config/stickforge" "$home/.local/share/stickforge"
as_root env PKEXEC_UID="$uid" /usr/bin/stickforge-cli settings --save >/dev/null 2>&1
check "root through pkexec: settings --save writes $settings" test -f "$settings"
for path in "$settings" "$home/.config/stickforge" "$home/.local/share/stickforge/clover" \
    "$home/.local/share/stickforge/images"; do
    check "  ... $path owned by $user" test "$(owner_of "$path" 2>/dev/null)" = "$user"
done
check "  ... and none in root's folder" test ! -e "$scratch/root/.config/stickforge/stickforge.ini"
check "the package's version is the program's" test "$version" = \
    "$(sed -n 's/^project(stickforge VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")"

desktop=/usr/share/applications/io.github.ormund.stickforge.desktop
check "desktop-file-validate passes the menu entry" desktop-file-validate "$desktop"
check "the menu entry is in System" grep -qx "Categories=System;" "$desktop"
check "appstreamcli validate passes the metainfo" appstreamcli validate --no-net \
    /usr/share/metainfo/io.github.ormund.stickforge.metainfo.xml
for size in 16x16 32x32 48x48 72x72; do
    check "icon $size" sh -c "file /usr/share/icons/hicolor/$size/apps/stickforge.png |
        grep -q 'PNG image data, $(echo $size | sed 's/x/ x /')'"
done
for page in stickforge-cli stickforge; do
    LC_ALL=C MANWIDTH=80 man --warnings -l "/usr/share/man/man1/$page.1.gz" \
        >"$scratch/$page.txt" 2>"$scratch/$page.warnings"
    check "man -l renders $page(1)" grep -q "^SYNOPSIS" "$scratch/$page.txt"
    check "  ... without warnings" test ! -s "$scratch/$page.warnings"
done
check "man finds stickforge-cli(1)" sh -c "man -w stickforge-cli | grep -q /usr/share/man/man1/"
check "bash completion is installed" bash -c \
    ". /usr/share/bash-completion/completions/stickforge-cli && complete -p stickforge-cli >/dev/null"

# The menu entry's command with a stand-in pkexec that notes what it was asked to run.
launcher=$(sed -n 's/^Exec=//p' "$desktop")
policy=/usr/share/polkit-1/actions/io.github.ormund.stickforge.policy
action_program=$(sed -n 's/.*key="org.freedesktop.policykit.exec.path">\(.*\)<.*/\1/p' "$policy")
check "the polkit action allows a window" \
    grep -q 'key="org.freedesktop.policykit.exec.allow_gui">true<' "$policy"
mkdir -p "$scratch/stand-in"
chmod 755 "$scratch" "$scratch/stand-in"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"$HOME/pkexec-asked"\n' >"$scratch/stand-in/pkexec"
chmod 755 "$scratch/stand-in/pkexec"
runuser -u "$user" -- env -i HOME="$home" PATH="$scratch/stand-in:/usr/bin:/bin" "$launcher"
check "the launcher asks pkexec for exactly $action_program" \
    test "$(cat "$home/pkexec-asked" 2>/dev/null)" = "$action_program"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq stickforge >/dev/null 2>&1
check "apt-get purge removes the package" test $? -eq 0
while read -r path; do
    [ -e "$path" ] && ! dpkg -S "$path" >/dev/null 2>&1 && echo "$path"
done <"$scratch/files" >"$scratch/left"
check "every path of the package is gone or another package's" test ! -s "$scratch/left"
find /usr -name '*stickforge*' >>"$scratch/left"
check "nothing named stickforge is left in /usr" test ! -s "$scratch/left"
cat "$scratch/left"
finish
