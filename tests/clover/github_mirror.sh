#!/bin/sh
# Lays out a stand-in of Clover's GitHub releases for the loopback test server, whose
# address is BASE-URL (the files are read at request time, so the server may run already):
#   ROOT/repos/CloverHackyColor/CloverBootloader/releases/index.html   the API's answer
#   ROOT/objects/Clover-N-X64.iso.7z                                  the latest archive
# The answer lists a release per revision given, newest first, each with the assets
# Clover-N-X64.iso.7z and CloverV2-N.zip; the archive's download address redirects to the
# object, as GitHub's do. Only the first revision gets an archive (clover_archive.sh, 7z
# form, from BOOT-FILE and EFI-LOADER); its digest is right (default), wrong or none
# (null, as on assets GitHub published before it gave digests). --refuse CODE makes the
# API answer CODE with GitHub's rate-limit message instead.
# Usage: github_mirror.sh [--efi EFI-LOADER] [--digest right|wrong|none] [--refuse CODE]
#                         BOOT-FILE ROOT BASE-URL REVISION [OLDER-REVISION...]
set -eu
efi_loader=
digest=right
refuse=
while [ $# -gt 0 ]; do
    case $1 in
    --efi) efi_loader=$2 ;;
    --digest) digest=$2 ;;
    --refuse) refuse=$2 ;;
    *) break ;;
    esac
    shift 2
done
boot_file=$1
root=$2
base=$3
latest=$4
shift 3
api=$root/repos/CloverHackyColor/CloverBootloader/releases
mkdir -p "$api" "$root/objects"
rm -f "$api/index.html.status"
if [ -n "$refuse" ]; then
    printf '{"message":"API rate limit exceeded for 127.0.0.1.","documentation_url":"%s"}\n' \
        "https://docs.github.com/rest/overview/resources-in-the-rest-api#rate-limiting" \
        >"$api/index.html"
    echo "$refuse" >"$api/index.html.status"
    exit 0
fi
archive=$("$(dirname "$0")/clover_archive.sh" "$boot_file" "$latest" "$root/objects" 7z "$efi_loader")
case $digest in
right) value="\"sha256:$(sha256sum "$archive" | cut -c1-64)\"" ;;
wrong) value="\"sha256:$(printf 'other' | sha256sum | cut -c1-64)\"" ;;
none) value=null ;;
esac
{
    printf '['
    separator=
    for revision in "$@"; do
        name=Clover-$revision-X64.iso.7z
        url=$base/CloverHackyColor/CloverBootloader/releases/download/$revision/$name
        this_digest=null
        [ "$revision" = "$latest" ] && url="$url?location=$base/objects/$name" &&
            this_digest=$value
        printf '%s{"tag_name":"%s","name":"Clover r%s","draft":false,"prerelease":false,' \
            "$separator" "$revision" "$revision"
        printf '"assets":[{"name":"%s","size":1,"digest":%s,"browser_download_url":"%s"},' \
            "$name" "$this_digest" "$url"
        printf '{"name":"CloverV2-%s.zip","digest":null,"browser_download_url":"%s"}]}' \
            "$revision" "$base/zip/CloverV2-$revision.zip"
        separator=,
    done
    echo ']'
} >"$api/index.html"
