#!/usr/bin/env bash
# Brings a Debian 12 machine to what the project needs, and only what is missing:
#   1. Debian packages (compilers, clang with libFuzzer, MinGW-w64, Wine,
#      libraries, PDF/TIFF checkers);
#   2. the zh_CN.UTF-8 locale, so that Wine runs with ANSI code page 936;
#   3. static libdeflate, libtiff and libpng cross-built for x86_64 and i686 MinGW
#      from Debian's source packages, into a cache outside the source tree.
# Idempotent: a second run checks stamps and returns in seconds.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/paths.sh
. "$here/paths.sh"

log() { printf '[deps] %s\n' "$*" >&2; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  build-essential cmake ninja-build pkg-config dpkg-dev locales time
  clang libclang-rt-14-dev
  mingw-w64 mingw-w64-tools g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  libz-mingw-w64-dev
  wine wine64 libwine-dev
  googletest libgtest-dev
  libtiff-dev libpng-dev zlib1g-dev libdeflate-dev libssl-dev openssl
  qpdf poppler-utils libtiff-tools python3-img2pdf
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  as_root apt-get update -qq
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine needs a zh_CN.UTF-8 locale to run with code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  log "generating the zh_CN.UTF-8 locale"
  as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi

"$here/build-cross-libs.sh"
log "ready (cross libraries in $BIDDER_DEPS)"
