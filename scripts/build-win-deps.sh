#!/bin/sh
# Builds the static MinGW-w64 libraries the Windows build links against (liblzma, zlib,
# libzip, PCRE2 8-bit, expat) from Debian's source packages, with pkg-config files for
# PKG_CONFIG_LIBDIR. Libraries already in the prefix are kept.
# Usage: scripts/build-win-deps.sh [prefix]
#   prefix: the argument, else $STICKFORGE_WIN_DEPS, else build-win/deps in the source tree.
# Runs as root: it installs the cross compiler and fetches the sources with apt-get.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-${STICKFORGE_WIN_DEPS:-$repo/build-win/deps}}
host=x86_64-w64-mingw32
release=bookworm
toolchain=$repo/cmake/mingw-w64.cmake
jobs=$(nproc)
export DEBIAN_FRONTEND=noninteractive

# "pkg-config name:library file" of every library, in build order (libzip needs the first two).
libraries="liblzma:liblzma.a zlib:libz.a libzip:libzip.a libpcre2-8:libpcre2-8.a expat:libexpat.a"

built() {
    [ -f "$prefix/lib/pkgconfig/${1%%:*}.pc" ] && [ -f "$prefix/lib/${1#*:}" ]
}

all_built() {
    for library in $libraries; do built "$library" || return 1; done
}

# shellcheck source=scripts/source-packages.sh
. "$repo/scripts/source-packages.sh"

install_tools() {
    quiet "$repo/scripts/install-packages.sh" g++-mingw-w64-x86-64-posix cmake make pkg-config \
        dpkg-dev
}

cmake_build() {
    source=$1
    shift
    quiet cmake -S "$source" -B "$source/build-win" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DSTICKFORGE_WIN_DEPS="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF "$@"
    quiet cmake --build "$source/build-win" -j "$jobs"
    quiet cmake --install "$source/build-win"
    # PCRE2 and expat install their manuals whatever the options say.
    rm -rf "$prefix/man" "$prefix/share/doc"
    rmdir "$prefix/share" 2>/dev/null || true
}

# Autotools here because only that build writes liblzma.pc and skips the xz programs.
build_liblzma() {
    source=$(fetch xz-utils)
    cd "$source"
    quiet ./configure --host="$host" CC="$host-gcc-posix" --prefix="$prefix" \
        --disable-shared --enable-static --disable-xz --disable-xzdec --disable-lzmadec \
        --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc --disable-nls
    quiet make -C src/liblzma -j "$jobs" install
    rm -f "$prefix/lib/liblzma.la"
}

# Debian's zlib source has no win32/Makefile.gcc; its configure cross-builds from CHOST.
build_zlib() {
    source=$(fetch zlib)
    cd "$source"
    quiet env CHOST="$host" CC="$host-gcc-posix" ./configure --static --prefix="$prefix"
    quiet make -j "$jobs" libz.a
    install -D -m 644 libz.a "$prefix/lib/libz.a"
    install -D -m 644 zlib.h zconf.h -t "$prefix/include"
    install -D -m 644 zlib.pc "$prefix/lib/pkgconfig/zlib.pc"
}

# Windows' own crypto (bcrypt) for the AES support instead of a TLS library; its .pc then
# lists -lbcrypt -ladvapi32 itself.
build_libzip() {
    source=$(fetch libzip)
    cmake_build "$source" -DENABLE_BZIP2=OFF -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF \
        -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=ON \
        -DENABLE_LZMA=ON -DCMAKE_C_FLAGS=-DLZMA_API_STATIC -DBUILD_TOOLS=OFF \
        -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
}

build_libpcre2_8() {
    source=$(fetch pcre2)
    cmake_build "$source" -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_16=OFF \
        -DPCRE2_BUILD_PCRE2_32=OFF -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF \
        -DPCRE2_SHOW_REPORT=OFF
}

build_expat() {
    source=$(fetch expat)/expat
    # Debian's fixes test "#if XML_DTD == 1"; the CMake header defines it empty.
    sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$source/expat_config.h.cmake"
    cmake_build "$source" -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF \
        -DEXPAT_BUILD_EXAMPLES=OFF -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF \
        -DEXPAT_BUILD_PKGCONFIG=ON
}

mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
if all_built; then
    echo "Windows libraries already in $prefix"
    exit 0
fi

start_source_work
install_tools
for library in $libraries; do
    built "$library" && continue
    name=${library%%:*}
    echo "Building $name"
    "build_$(echo "$name" | tr - _)"
done
echo "Windows libraries in $prefix"
