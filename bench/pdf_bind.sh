#!/usr/bin/env bash
# Binding 100 scanned A4 pages at 300 dpi (6 in 10 black-and-white, 2 grey,
# 2 colour, written the way the control stores pages) into one PDF with
# `folvane pdf`, with img2pdf and with tiff2pdf (on one multi-page TIFF made
# from the same pages beforehand with tiffcp; all three bind the same
# compressed strips). Prints the time of each, the
# ratios, peak RSS, and folvane's peak RSS for 25 against 100 pages; checks
# that folvane's PDF gives back every page's pixels.
#   bench/pdf_bind.sh [NATIVE_BUILD_DIR]     (default build/native)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
folvane=$build/scanctl/tool/folvane
generator=$build/bench/make_bench_pages
for f in "$folvane" "$generator"; do
  [ -x "$f" ] || { echo "missing $f: build the native preset first" >&2; exit 1; }
done
python=/usr/bin/python3   # Debian's, where python3-img2pdf lives
pages=100

work=$(mktemp -d "${TMPDIR:-/tmp}/pdf-bind.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "generating $pages pages ..."
mkdir generated pages
"$generator" generated "$pages"
# One multi-page TIFF for tiff2pdf (tiffcp, each page in one strip, G4 kept
# G4, the others Deflate with predictor at level 1); then the page files are
# split back out of it with their strips copied unchanged, so that all three
# tools bind exactly the same compressed bytes.
for ((i = 0; i < pages; i++)); do
  page=generated/$i.tif
  if tiffinfo "$page" 2>/dev/null | grep -q 'CCITT Group 4'; then codec=g4; else codec=zip:2:p1; fi
  tiffcp -a -r 100000 -c "$codec" "$page" multi.tif 2>/dev/null
done
rm -r generated
tiffsplit multi.tif split-
i=0
for f in $(ls split-*.tif | sort); do mv "$f" "pages/$i.tif"; i=$((i + 1)); done
list=()
for ((i = 0; i < pages; i++)); do list+=("pages/$i.tif"); done
echo "page files: $(du -sm pages | cut -f1) MB, multi-page TIFF: $(du -sm multi.tif | cut -f1) MB"

# measure NAME RUNS COMMAND...: best wall time of RUNS runs, and that run's peak RSS.
declare -A seconds rss
measure() {
  local name=$1 runs=$2; shift 2
  local best=""
  for ((run = 0; run < runs; run++)); do
    /usr/bin/time -f '%e %M' -o timing "$@" >/dev/null 2>run.log || { cat run.log >&2; exit 1; }
    read -r t m <timing
    if [ -z "$best" ] || awk "BEGIN{exit !($t < $best)}"; then best=$t; rss[$name]=$m; fi
  done
  seconds[$name]=$best
}

measure folvane 3 "$folvane" pdf -o folvane.pdf "${list[@]}"
# img2pdf takes minutes: one run.
measure img2pdf 1 "$python" -m img2pdf -o img2pdf.pdf "${list[@]}"
measure tiff2pdf 3 tiff2pdf -z -o tiff2pdf.pdf multi.tif
measure folvane_25 3 "$folvane" pdf -o folvane25.pdf "${list[@]:0:25}"

printf '\n%-10s %9s %10s %11s\n' tool seconds "peak MB" "PDF MB"
for name in folvane img2pdf tiff2pdf; do
  printf '%-10s %9s %10.1f %11.1f\n' "$name" "${seconds[$name]}" "$(awk "BEGIN{print ${rss[$name]}/1024}")" \
    "$(awk "BEGIN{print $(stat -c %s "$name.pdf")/1048576}")"
done
ratio() { awk "BEGIN{ if ($2 == 0) print \"(too fast to time)\"; else printf \"%.1fx\", $1 / $2 }"; }
echo
echo "img2pdf / folvane:  $(ratio "${seconds[img2pdf]}" "${seconds[folvane]}")   (target >= 5x)"
echo "tiff2pdf / folvane: $(ratio "${seconds[tiff2pdf]}" "${seconds[folvane]}")   (target >= 1x)"
echo "folvane peak RSS: 25 pages $(awk "BEGIN{printf \"%.1f\", ${rss[folvane_25]}/1024}") MB," \
     "100 pages $(awk "BEGIN{printf \"%.1f\", ${rss[folvane]}/1024}") MB"

echo
qpdf --check folvane.pdf >/dev/null && echo "qpdf --check: folvane.pdf ok"
# Lossless: every image of the PDF equals its page file, pixel for pixel.
pdfimages -png folvane.pdf img
"$python" - "$pages" <<'PY'
import sys
from PIL import Image
pages = int(sys.argv[1])
bad = 0
for i in range(pages):
    src = Image.open(f"pages/{i}.tif")
    out = Image.open(f"img-{i:03d}.png")
    mode = "RGB" if src.mode == "RGB" else "L"
    if src.size != out.size or src.convert(mode).tobytes() != out.convert(mode).tobytes():
        print(f"page {i}: pixels differ ({src.mode} vs {out.mode})")
        bad += 1
print("lossless: all %d pages identical" % pages if bad == 0 else "lossless: %d pages differ" % bad)
sys.exit(1 if bad else 0)
PY
