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
# shellcheck source=scripts/lib/paths.sh
. "$here/lib/paths.sh"

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
  nlohmann-json3-dev libboost-dev
  qpdf poppler-utils libtiff-tools python3-img2pdf
  libsane-dev sane-utils curl
  lintian mmdebstrap systemd
  chromium chromium-driver python3-selenium fonts-wqy-microhei
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

# x86 is what most bidders' browsers load: its Windows tests run under a WoW64
# Wine (wine32 beside wine64) where this kernel runs 32-bit programs. A real
# 32-bit program decides, never a guess, and on every run (a machine can come
# back with another kernel): the 96-byte static i386 program below only calls
# exit(42). The answer is kept in $BIDDER_X86_FACT ("yes" or "no") for the
# demo, the test scripts and CMake; none of them asks the kernel again.
probe=$(mktemp)
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08'\
'\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00'\
'\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
code=0
"$probe" 2>/dev/null || code=$?
rm -f "$probe"
mkdir -p "$(dirname "$BIDDER_X86_FACT")"
wine32_installed() { dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; }
if [ "$code" = 42 ]; then
  if ! wine32_installed; then
    log "installing wine32 (i386) beside wine64: x86 tests run under WoW64 Wine"
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
    as_root apt-get update -qq
    as_root apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
  fi
  echo yes >"$BIDDER_X86_FACT"
else
  echo no >"$BIDDER_X86_FACT"
  log "this kernel does not run 32-bit programs: the x86 build is built and checked here, not run"
  if wine32_installed; then
    log "warning: wine32 is installed, but this kernel cannot run it; every wine call may fail (apt-get remove wine32:i386)"
  fi
fi

"$here/build-cross-libs.sh"
log "ready (cross libraries in $BIDDER_DEPS)"
