#!/usr/bin/env bash
# Binding 100 scanned A4 pages at 300 dpi (6 in 10 black-and-white, 2 grey,
# 2 colour, written the way the control stores pages) into one PDF with
# `folvane pdf`, with img2pdf and with tiff2pdf (on one multi-page TIFF made
# from the same pages beforehand with tiffcp; all three bind the same
# compressed strips), and `cat` of the same page files into one file, the
# cost of copying the bytes. Prints the median time of RUNS alternating runs
# of folvane, tiff2pdf and cat (img2pdf, which takes minutes, runs once), the
# ratios, peak RSS, folvane's peak RSS for 25 against 100 pages and for the
# pages of each kind alone; checks that folvane's PDF gives back every page's
# pixels.
#   bench/pdf_bind.sh [NATIVE_BUILD_DIR]     (default build/native)
#   environment: RUNS (default 7), IMG2PDF=0 leaves img2pdf out
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

# run NAME OUTPUT COMMAND...: one timed run writing OUTPUT; its wall time
# joins NAME's list, and its peak RSS is kept when it is the largest so far.
# Every run starts alike: its output does not exist yet (freeing an earlier
# 300 MB file costs a quarter of a second on its own), and no dirty pages of
# an earlier run wait to be written back (they would throttle whichever tool
# runs next).
declare -A times rss
run() {
  local name=$1 output=$2; shift 2
  rm -f "$output"
  sync
  /usr/bin/time -f '%e %M' -o timing "$@" >/dev/null 2>run.log || { cat run.log >&2; exit 1; }
  read -r t m <timing
  times[$name]="${times[$name]:-} $t"
  if [ -z "${rss[$name]:-}" ] || [ "$m" -gt "${rss[$name]}" ]; then rss[$name]=$m; fi
}
median() { tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -g | awk '{a[NR]=$1} END{print a[int((NR+1)/2)]}'; }

runs=${RUNS:-7}
for ((r = 0; r < runs; r++)); do
  run folvane folvane.pdf "$folvane" pdf -o folvane.pdf "${list[@]}"
  run tiff2pdf tiff2pdf.pdf tiff2pdf -z -o tiff2pdf.pdf multi.tif
  run cat cat.out sh -c 'cat "$@" >cat.out' sh "${list[@]}"
done
rm -f cat.out
if [ "${IMG2PDF:-1}" != 0 ]; then run img2pdf img2pdf.pdf "$python" -m img2pdf -o img2pdf.pdf "${list[@]}"; fi
run folvane_25 folvane25.pdf "$folvane" pdf -o folvane25.pdf "${list[@]:0:25}"
# Peak memory per page kind: the pages of one kind bound alone.
declare -A kind_list
for ((i = 0; i < pages; i++)); do
  info=$(tiffinfo "pages/$i.tif" 2>/dev/null)
  if grep -q 'CCITT Group 4' <<<"$info"; then kind=bilevel
  elif grep -q 'RGB color' <<<"$info"; then kind=colour
  else kind=grey; fi
  kind_list[$kind]="${kind_list[$kind]:-} pages/$i.tif"
done
for kind in bilevel grey colour; do
  # shellcheck disable=SC2086
  run "kind_$kind" "kind-$kind.pdf" "$folvane" pdf -o "kind-$kind.pdf" ${kind_list[$kind]}
done

printf '\n%-10s %9s %10s %11s   (median of %d alternating runs)\n' tool seconds "peak MB" "output MB" "$runs"
for name in folvane img2pdf tiff2pdf cat; do
  [ -n "${times[$name]:-}" ] || continue
  out=$name.pdf; [ "$name" = cat ] && out=""
  printf '%-10s %9s %10.1f %11s\n' "$name" "$(median "$name")" "$(awk "BEGIN{print ${rss[$name]}/1024}")" \
    "$([ -n "$out" ] && awk "BEGIN{printf \"%.1f\", $(stat -c %s "$out")/1048576}" || du -cm "${list[@]}" | tail -1 | cut -f1)"
done
ratio() { awk "BEGIN{ if ($2 == 0) print \"(too fast to time)\"; else printf \"%.2fx\", $1 / $2 }"; }
echo
if [ -n "${times[img2pdf]:-}" ]; then
  echo "img2pdf / folvane:  $(ratio "$(median img2pdf)" "$(median folvane)")   (target >= 5x)"
fi
echo "tiff2pdf / folvane: $(ratio "$(median tiff2pdf)" "$(median folvane)")   (target >= 1x)"
echo "folvane / cat:      $(ratio "$(median folvane)" "$(median cat)")   (target <= 1.2x)"
echo "folvane peak RSS: 25 pages $(awk "BEGIN{printf \"%.1f\", ${rss[folvane_25]}/1024}") MB," \
     "100 pages $(awk "BEGIN{printf \"%.1f\", ${rss[folvane]}/1024}") MB"
echo "folvane peak RSS per page kind (its pages alone; the largest strip of the kind):"
for kind in bilevel grey colour; do
  # shellcheck disable=SC2086
  largest=$(stat -c %s ${kind_list[$kind]} | sort -n | tail -1)
  printf '  %-8s %6.1f MB   (largest page file %.1f MB)\n' "$kind" "$(awk "BEGIN{print ${rss[kind_$kind]}/1024}")" \
    "$(awk "BEGIN{print $largest/1048576}")"
done

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
