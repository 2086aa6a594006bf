#!/usr/bin/env bash
# Page capture speed: how many scanned A4 pages at 300 dpi per second become
# TIFF page files (1-bit text as G4, 8-bit grey and 24-bit colour as Deflate),
# with the native build, and the peak memory of storing one page of each
# kind against the bitmap's size. Usage: bench/page_capture.sh [PAGES_PER_KIND]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
pages=${1:-20}

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target page_capture_bench >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/build/native/bench/page_capture_bench" --pages "$pages" --work "$work"
echo
echo "page capture peak memory: A4 at 300 dpi, one page of each kind"
printf '%-26s %11s %14s %16s\n' kind "bitmap MB" "working MB" "peak / bitmap"
for kind in 0 1 2; do "$root/build/native/bench/page_capture_bench" --memory "$kind" --work "$work"; done
