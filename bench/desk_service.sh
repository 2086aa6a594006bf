#!/usr/bin/env bash
# The desk service against the tools that do its work alone, in one run:
# scanning (SANE's pnm backend reading rendered A4 pages at 300 dpi with
# paper tint, sensor noise and a red seal), binding, sealing, and with
# --memory the service's peak memory over a 300 MB document and a 1 GB seal.
#   bench/desk_service.sh [--memory] [PAGES]     (default 5 pages)
# The pages are rendered from a PDF Debian ships (the shared-mime-info
# package's documentation). The pnm backend reads /tmp/input.ppm, which this
# overwrites while it runs. Debian's python3 runs it, for selenium: the seal
# is timed in headless Chromium through the page library as well.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
memory=()
if [ "${1:-}" = --memory ]; then memory=(--memory); shift; fi
pages=${1:-5}
source_pdf=/usr/share/doc/shared-mime-info/shared-mime-info-spec.pdf
for tool in pdftoppm scanimage curl; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps.sh" >&2; exit 1; }
done
[ -f "$source_pdf" ] || { echo "missing $source_pdf (Debian's shared-mime-info)" >&2; exit 1; }

cmake --preset native >/dev/null
cmake --build --preset native -j2 --target bidder-desk folvane lockvale add_scan_noise >/dev/null
build=$root/build/native

work=$(mktemp -d "${TMPDIR:-/tmp}/desk-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "rendering $pages pages of $(basename "$source_pdf") at 300 dpi, with scanner noise ..."
pdftoppm -r 300 -f 1 -l "$pages" "$source_pdf" "$work/render"
mkdir "$work/pages"
i=0
for page in "$work"/render*.ppm; do
  "$build/bench/add_scan_noise" "$page" "$work/pages/$(printf %03d $i).ppm" "$i"
  rm "$page"
  i=$((i + 1))
done
/usr/bin/python3 "$root/bench/desk_bench.py" "$build" "$work/pages" "${memory[@]}"
