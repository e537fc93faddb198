#!/bin/sh
# Builds the Windows build's third-party libraries once, from Debian's own
# sources, into a cache folder under the build tree (never committed):
#   minizip    contrib/minizip of Debian's zlib source package
#   libsodium  Debian's libsodium source package (signed releases)
#   GoogleTest Debian's googletest sources in /usr/src/googletest
#   libtorrent Debian's libtorrent-rasterbar source package with Debian's
#              Boost headers (the parts it needs are header-only), for the
#              swarm engine; only when asked for ("torrent" after the prefix)
# zlib itself comes from libz-mingw-w64-dev. Source packages come from the
# main archive through apt-get (scripts/setup-deps.sh --windows enables its
# source entries); nothing is downloaded from anywhere else.
#
#   scripts/build-windows-deps.sh <triple> <prefix> [torrent]
#   e.g. scripts/build-windows-deps.sh x86_64-w64-mingw32 build-win64/deps torrent
# Safe to run again: a finished prefix is reused as it is.
set -eu
[ $# -eq 2 ] || [ $# -eq 3 ] || { echo "usage: $0 <mingw triple> <prefix> [torrent]" >&2; exit 2; }
TRIPLE=$1
mkdir -p "$2"
PREFIX=$(cd "$2" && pwd)
TORRENT=${3:-}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
STAMP="$PREFIX/.built-4"
TORRENT_STAMP="$PREFIX/.built-torrent-1"
JOBS=${JOBS:-2}
case "$TRIPLE" in
  x86_64-*) TOOLCHAIN="$ROOT/cmake/toolchain-mingw64.cmake" ;;
  *) TOOLCHAIN="$ROOT/cmake/toolchain-mingw32.cmake" ;;
esac
. /etc/os-release

# libtorrent-rasterbar, static, into the prefix with its pkg-config file
# (the top-level CMakeLists finds it there and builds the swarm engine).
# Without OpenSSL for mingw: no peer encryption (RC4 obfuscation); SHA-1
# comes from Windows' own crypto API.
build_libtorrent() {
  [ -f "/usr/include/boost/version.hpp" ] || { echo "build-windows-deps: Boost headers are missing (libboost-dev)" >&2; exit 1; }
  src="$PREFIX/src-torrent"
  rm -rf "$src"
  mkdir -p "$src"
  echo "build-windows-deps: libtorrent (about 14 CPU minutes)"
  (cd "$src" && apt-get source -q "libtorrent-rasterbar/$VERSION_CODENAME" >"$src/apt.log" 2>&1) || {
    cat "$src/apt.log" >&2
    echo "build-windows-deps: apt-get source failed; run scripts/setup-deps.sh --windows (source entries)" >&2
    exit 1
  }
  ln -sfn /usr/include/boost "$PREFIX/include/boost"
  cmake -S "$(echo "$src"/libtorrent-rasterbar-*/)" -B "$src/build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DKIVRO_WINDOWS_DEPS="$PREFIX" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
    -DBUILD_SHARED_LIBS=OFF -Dstatic_runtime=ON -Dencryption=OFF -Ddeprecated-functions=OFF \
    -DBoost_INCLUDE_DIR="$PREFIX/include" >"$src/build.log" 2>&1 || { cat "$src/build.log" >&2; exit 1; }
  cmake --build "$src/build" -j"$JOBS" >>"$src/build.log" 2>&1 || { tail -30 "$src/build.log" >&2; exit 1; }
  cmake --install "$src/build" >>"$src/build.log" 2>&1
  rm -rf "$src"
  touch "$TORRENT_STAMP"
}

if [ -f "$STAMP" ]; then
  [ -n "$TORRENT" ] && [ ! -f "$TORRENT_STAMP" ] && build_libtorrent
  exit 0
fi

CC="$TRIPLE-gcc-posix"
AR="$TRIPLE-ar"
command -v "$CC" >/dev/null || { echo "build-windows-deps: $CC is missing (Debian package mingw-w64)" >&2; exit 1; }
SRC="$PREFIX/src"
rm -rf "$SRC" "$PREFIX/include" "$PREFIX/lib" "$TORRENT_STAMP"
mkdir -p "$SRC" "$PREFIX/include" "$PREFIX/lib/pkgconfig"

# The version of the main archive: the security archive may carry no source.
echo "build-windows-deps: fetching the sources of zlib and libsodium ($VERSION_CODENAME)"
(cd "$SRC" && apt-get source -q "zlib/$VERSION_CODENAME" "libsodium/$VERSION_CODENAME" >"$SRC/apt.log" 2>&1) || {
  cat "$SRC/apt.log" >&2
  echo "build-windows-deps: apt-get source failed; run scripts/setup-deps.sh --windows (source entries)" >&2
  exit 1
}

# compile <out.a> <cflags> <sources...>: C sources into one static library.
compile() {
  lib=$1; flags=$2; shift 2
  obj="$lib.obj"
  mkdir -p "$obj"
  for s in "$@"; do echo "$s"; done |
    xargs -P "$JOBS" -I{} sh -c '"$0" -O2 -w $1 -c "$2" -o "$3/$(echo "$2" | tr / _).o"' "$CC" "$flags" {} "$obj"
  "$AR" rcs "$lib" "$obj"/*.o
  rm -rf "$obj"
}

echo "build-windows-deps: minizip"
MZ=$(echo "$SRC"/zlib-*/contrib/minizip)
compile "$PREFIX/lib/libminizip.a" "" "$MZ/ioapi.c" "$MZ/unzip.c" "$MZ/zip.c" "$MZ/mztools.c" "$MZ/iowin32.c"
mkdir -p "$PREFIX/include/minizip"
cp "$MZ"/ioapi.h "$MZ"/unzip.h "$MZ"/zip.h "$MZ"/mztools.h "$MZ"/iowin32.h "$MZ"/crypt.h "$PREFIX/include/minizip/"
cat > "$PREFIX/lib/pkgconfig/minizip.pc" <<PC
prefix=$PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include/minizip

Name: minizip
Description: Minizip zip file manipulation library (Debian's zlib sources)
Version: 1.2.13
Requires.private: zlib
Libs: -L\${libdir} -lminizip
Cflags: -I\${includedir}
PC

echo "build-windows-deps: libsodium"
NA=$(echo "$SRC"/libsodium-*)
# What the library's configure would find on Windows: thread-local storage
# (the generator state), and on 64-bit 128-bit integer arithmetic.
SODIUM_FLAGS="-DCONFIGURED=1 -DSODIUM_STATIC -DNATIVE_LITTLE_ENDIAN -DTLS=_Thread_local -I$NA/src/libsodium/include/sodium -I$NA/builds/msvc"
case "$TRIPLE" in x86_64-*) SODIUM_FLAGS="$SODIUM_FLAGS -DHAVE_TI_MODE" ;; esac
# shellcheck disable=SC2046
compile "$PREFIX/lib/libsodium.a" "$SODIUM_FLAGS" $(find "$NA/src/libsodium" -name '*.c' | sort)
cp -r "$NA/src/libsodium/include/sodium.h" "$NA/src/libsodium/include/sodium" "$PREFIX/include/"
cp "$NA/builds/msvc/version.h" "$PREFIX/include/sodium/version.h"
cat > "$PREFIX/lib/pkgconfig/libsodium.pc" <<PC
prefix=$PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: libsodium
Description: libsodium (Debian's sources), static
Version: 1.0.18
Libs: -L\${libdir} -lsodium -ladvapi32
Cflags: -I\${includedir} -DSODIUM_STATIC
PC

echo "build-windows-deps: googletest"
cmake -S /usr/src/googletest -B "$SRC/googletest-build" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
  -DKIVRO_WINDOWS_DEPS="$PREFIX" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON >"$SRC/googletest.log" 2>&1 || { cat "$SRC/googletest.log" >&2; exit 1; }
cmake --build "$SRC/googletest-build" -j"$JOBS" >>"$SRC/googletest.log" 2>&1 || { tail -30 "$SRC/googletest.log" >&2; exit 1; }
cmake --install "$SRC/googletest-build" >>"$SRC/googletest.log" 2>&1

rm -rf "$SRC"
touch "$STAMP"
[ -n "$TORRENT" ] && build_libtorrent
echo "build-windows-deps: done in $PREFIX"
