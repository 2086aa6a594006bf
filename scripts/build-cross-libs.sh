#!/usr/bin/env bash
# Cross-builds static libdeflate, libtiff and libpng for x86_64 and i686 MinGW-w64
# from Debian's source packages into $BIDDER_DEPS/<triplet>. zlib comes prebuilt
# (libz-mingw-w64-dev). Each library is stamped with its source version, so a
# second run only checks the stamps.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/lib/paths.sh"

log() { printf '[cross-libs] %s\n' "$*" >&2; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

triplets=(x86_64-w64-mingw32 i686-w64-mingw32)
srcdir=$BIDDER_CACHE/src
mkdir -p "$srcdir" "$BIDDER_DEPS"


all_stamped() {
  local t lib
  for t in "${triplets[@]}"; do
    for lib in libdeflate tiff libpng1.6; do
      ls "$BIDDER_DEPS/$t/.stamp-$lib-"* >/dev/null 2>&1 || return 1
    done
  done
}
if all_stamped; then
  log "up to date"
  exit 0
fi

# apt-get source needs deb-src entries; add the type without naming any host.
ensure_deb_src() {
  local f=/etc/apt/sources.list.d/debian.sources
  if [ -f "$f" ] && ! grep -q '^Types:.*deb-src' "$f"; then
    log "enabling source package indices"
    as_root sed -i 's/^Types: deb$/Types: deb deb-src/' "$f"
    as_root apt-get update -qq
  elif ! apt-cache showsrc tiff >/dev/null 2>&1; then
    as_root apt-get update -qq
  fi
}

# Fetches and unpacks a source package once; prints its directory.
fetch_source() {
  local pkg=$1 dir
  dir=$(find "$srcdir" -maxdepth 1 -type d -name "$2-*" | sort | tail -n 1)
  if [ -z "$dir" ]; then
    ensure_deb_src
    (cd "$srcdir" && apt-get source -qq "$pkg/bookworm" >/dev/null 2>&1) \
      || (cd "$srcdir" && apt-get source -qq "$pkg" >/dev/null)
    dir=$(find "$srcdir" -maxdepth 1 -type d -name "$2-*" | sort | tail -n 1)
  fi
  [ -n "$dir" ] || { log "could not unpack $pkg"; exit 1; }
  echo "$dir"
}

deflate_src=$(fetch_source libdeflate libdeflate)
tiff_src=$(fetch_source tiff tiff)
png_src=$(fetch_source libpng1.6 libpng1.6)
ver() { basename "$1" | sed 's/^[^-]*-//'; }

build_libdeflate() {
  local t=$1 prefix=$2 b
  b=$(mktemp -d)
  cp -a "$deflate_src/." "$b/"
  if [ -f "$b/CMakeLists.txt" ]; then
    cmake -S "$b" -B "$b/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${t%%-*}.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DLIBDEFLATE_BUILD_SHARED_LIB=OFF -DLIBDEFLATE_BUILD_GZIP=OFF >/dev/null
    cmake --build "$b/build" -j2 >/dev/null
    cmake --install "$b/build" >/dev/null
  else
    # The Makefile names the MinGW static library libdeflatestatic.lib.
    make -C "$b" -j2 CC="$t-gcc" AR="$t-ar" CFLAGS="-O2" libdeflatestatic.lib >/dev/null
    install -D -m644 "$b/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
    install -D -m644 "$b/libdeflate.h" "$prefix/include/libdeflate.h"
  fi
  rm -rf "$b"
}

build_tiff() {
  local t=$1 prefix=$2 b
  b=$(mktemp -d)
  cmake -S "$tiff_src" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${t%%-*}.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_PREFIX_PATH="$prefix" \
    -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF \
    -Dzlib=ON -Dlibdeflate=ON -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlzma=OFF \
    -Dzstd=OFF -Dwebp=OFF -Dlerc=OFF -Dpixarlog=OFF \
    -DZLIB_LIBRARY="/usr/$t/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$t/include" \
    -DDeflate_INCLUDE_DIR="$prefix/include" -DDeflate_LIBRARY="$prefix/lib/libdeflate.a" \
    >"$b.log" 2>&1 || { cat "$b.log"; exit 1; }
  grep -q 'libdeflate.*: *Requested:ON.*Availability:TRUE\|libdeflate support: *Requested:ON.*Availability:TRUE' "$b.log" \
    || grep -qi 'libdeflate.*TRUE' "$b.log" || { log "libtiff configured without libdeflate"; cat "$b.log"; exit 1; }
  cmake --build "$b" -j2 >/dev/null
  cmake --install "$b" >/dev/null
  rm -rf "$b" "$b.log"
}

build_png() {
  local t=$1 prefix=$2 b
  b=$(mktemp -d)
  cmake -S "$png_src" -B "$b" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-${t%%-*}.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON \
    -DZLIB_LIBRARY="/usr/$t/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$t/include" >/dev/null
  cmake --build "$b" -j2 --target png_static >/dev/null
  cmake --install "$b" >/dev/null 2>&1 || true
  [ -f "$prefix/lib/libpng16.a" ] || [ -f "$prefix/lib/libpng.a" ] || { log "libpng install failed"; exit 1; }
  rm -rf "$b"
}

for t in "${triplets[@]}"; do
  prefix=$BIDDER_DEPS/$t
  mkdir -p "$prefix"
  for lib in libdeflate tiff libpng1.6; do
    case $lib in
      libdeflate) src=$deflate_src; fn=build_libdeflate ;;
      tiff) src=$tiff_src; fn=build_tiff ;;
      libpng1.6) src=$png_src; fn=build_png ;;
    esac
    stamp="$prefix/.stamp-$lib-$(ver "$src")"
    [ -f "$stamp" ] && continue
    log "building $lib $(ver "$src") for $t"
    rm -f "$prefix/.stamp-$lib-"*
    "$fn" "$t" "$prefix"
    touch "$stamp"
  done
done
log "done"
