#!/bin/sh
# Makes the release files from the builds that are already there, into OUTPUT (default: the
# Linux build folder):
#   stickforge_VERSION_amd64.deb        from the Linux build, installed into /usr, checked
#                                       with lintian (no errors, no warnings left unexplained)
#   stickforge-VERSION-windows-x64.zip  from the Windows build, when it holds both .exe files:
#                                       the programs, the README's Windows section and the
#                                       licences of what is linked into them
# Usage: scripts/package.sh [LINUX-BUILD [WINDOWS-BUILD [OUTPUT]]]
# Defaults: build, build-win.
set -eu
cd "$(dirname "$0")/.."
linux=${1:-build}
windows=${2:-build-win}
output=${3:-$linux}
scripts/install-packages.sh lintian zip >/dev/null
[ -f "$linux/CMakeCache.txt" ] || {
    echo "package.sh: no Linux build in $linux (scripts/setup.sh $linux makes one)" >&2
    exit 1
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux/CMakeCache.txt")
mkdir -p "$output"
output=$(cd "$output" && pwd)

# The Debian package. Building the two programs and the installed files is a no-op when
# the build is current; cpack strips the programs as it installs them.
cmake -DCMAKE_INSTALL_PREFIX=/usr "$linux" >/dev/null
cmake --build "$linux" -j "$(nproc)" --target stickforge stickforge-cli install_files >/dev/null
(cd "$linux" && cpack -G DEB -B "$output") >"$output/cpack.log" 2>&1 || {
    cat "$output/cpack.log" >&2
    exit 1
}
rm -rf "$output/_CPack_Packages" "$output/cpack.log"
deb=$output/stickforge_${version}_amd64.deb
echo "Debian package: $deb"
dpkg-deb --contents "$deb" | awk '{ print "  " $1, $6 }'

# Lintian's notes that stay (information, neither errors nor warnings), each for its reason:
#   spelling-error-in-binary: "Standart" is in texts the program shows word for word.
#   binary-has-unneeded-section: .comment holds the compiler's version notes, which the
#     stripping keeps; they cost a few hundred bytes.
# A warning that has to stay goes into --suppress-tags with its reason here.
lintian_ok=yes
lintian --display-info --fail-on error,warning "$deb" >"$output/lintian.txt" 2>&1 || lintian_ok=no
grep -v "with root privileges" "$output/lintian.txt" || true
rm -f "$output/lintian.txt"
if [ "$lintian_ok" = no ]; then
    echo "lintian found errors or warnings" >&2
    exit 1
fi
echo "lintian: no errors, no warnings"

# The Windows archive.
if [ ! -f "$windows/stickforge.exe" ] || [ ! -f "$windows/stickforge-cli.exe" ]; then
    echo "No Windows executables in $windows: no Windows archive (scripts/build-windows.sh)"
    exit 0
fi
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
folder=$stage/stickforge-$version
mkdir -p "$folder/licenses"
cp "$windows/stickforge.exe" "$windows/stickforge-cli.exe" "$folder/"
crlf() { sed 's/\r*$/\r/'; }
{
    echo "Stickforge $version for Windows"
    awk '/^## The Windows executables/ { inside = 1; next } /^## / { inside = 0 } inside' README.md
} | crlf >"$folder/README-Windows.txt"
crlf <packaging/notice.txt >"$folder/licenses/Stickforge.txt"
# The libraries and tools linked or packed into the .exe files, each built from the Debian
# source whose binary package's copyright file is named here.
for pair in 7-Zip:7zip liblzma:liblzma5 zlib:zlib1g libzip:libzip4 PCRE2:libpcre2-8-0 \
    expat:libexpat1 MinGW-w64-runtime:mingw-w64-common GCC-runtime:gcc-mingw-w64-base; do
    crlf <"/usr/share/doc/${pair#*:}/copyright" >"$folder/licenses/${pair%%:*}.txt"
done
zip="$output/stickforge-$version-windows-x64.zip"
rm -f "$zip"
(cd "$stage" && zip -q -r -X "$zip" "stickforge-$version")
echo "Windows archive: $zip"
unzip -l "$zip" | awk 'NR > 3 && $4 != "" { print "  " $4 }'
