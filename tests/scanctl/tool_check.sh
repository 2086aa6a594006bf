#!/usr/bin/env bash
# The folvane tool from the outside: bitmap files stored as page files, checked
# with libtiff's own tools; page files exported as PNG files, under Chinese
# names too; exit statuses. With a second tool given, both must store the same
# pages (tiffcmp: same tags, same pixels). A .exe runs under the project's Wine.
#   tool_check.sh FOLVANE [OTHER_FOLVANE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

. "$root/tests/support/tool_work.sh"
enter_work_dir folvane-check

fail=0
problem() { echo "FAIL: $*"; fail=1; }

le() {  # le VALUE BYTES: little-endian bytes as printf escapes
  local v=$1 n=$2 out=""
  for ((i = 0; i < n; i++)); do out+=$(printf '\\x%02x' $(((v >> (8 * i)) & 255))); done
  printf '%s' "$out"
}

# bmp NAME WIDTH HEIGHT BITS TABLE_ENTRIES TABLE_ESCAPES: random pixels, HEIGHT < 0 for top-down.
bmp() {
  local name=$1 w=$2 h=$3 bits=$4 entries=$5 table=$6
  local ah=${h#-} stride=$((((w * bits + 31) / 32) * 4))
  local size=$((stride * ah)) off=$((14 + 40 + entries * 4))
  {
    printf "BM$(le $((off + size)) 4)$(le 0 4)$(le "$off" 4)"
    printf "$(le 40 4)$(le "$w" 4)$(le $((h & 0xffffffff)) 4)$(le 1 2)$(le "$bits" 2)$(le 0 4)$(le "$size" 4)"
    printf "$(le 11811 4)$(le 11811 4)$(le "$entries" 4)$(le 0 4)"
    printf "$table"
    head -c "$size" /dev/urandom
  } > "$name"
}

grey=""
for ((i = 0; i < 256; i++)); do grey+=$(printf '\\x%02x\\x%02x\\x%02x\\x00' "$i" "$i" "$i"); done
bmp bilevel.bmp 37 23 1 2 '\xff\xff\xff\x00\x00\x00\x00\x00'
bmp grey.bmp 33 -17 8 256 "$grey"
bmp colour.bmp 31 19 24 0 ''

expect_info() {  # expect_info FILE TEXT...
  local info; info=$(tiffinfo "$1" 2>&1 || true)
  shift
  for text in "$@"; do
    grep -qF "$text" <<<"$info" || problem "$1: tiffinfo lacks '$text'"
  done
}

n=0
for kind in bilevel grey colour; do
  run_tool "$1" page "$kind.bmp" "$n.tif" || problem "page $kind.bmp exits $?"
  if [ $# -ge 2 ] && [ -n "$2" ]; then
    run_tool "$2" page "$kind.bmp" "other-$n.tif"
    diff=$(tiffcmp "$n.tif" "other-$n.tif" 2>&1 || true)
    [ -z "$diff" ] || problem "$kind: the two tools' pages differ: $diff"
  fi
  n=$((n + 1))
done
expect_info 0.tif "CCITT Group 4" "min-is-white" "Rows/Strip: 23" "Resolution: 300, 300 pixels/inch"
expect_info 1.tif "AdobeDeflate" "min-is-black" "Predictor: horizontal differencing" "Rows/Strip: 17"
expect_info 2.tif "AdobeDeflate" "RGB color" "Predictor: horizontal differencing" "Rows/Strip: 19"

# PNG export: Part numbering and a Chinese name, which Windows takes in GBK.
run_tool "$1" png -o 扫描.png 0.tif 1.tif 2.tif || problem "png exits $?"
for i in 0 1 2; do
  pngfix "扫描_$i.PNG" >/dev/null 2>&1 || problem "扫描_$i.PNG is missing or not a valid PNG"
done
[ ! -e 扫描.png ] || problem "the chosen name itself was written"
run_tool "$1" png -o 单页.png 2.tif || problem "png of one page exits $?"
[ -e 单页.PNG ] || problem "one page is not named 单页.PNG"

# Exit statuses: usage 2, failure 1 with no output left behind.
set +e
run_tool "$1" > /dev/null 2>&1; code=$?
[ "$code" = 2 ] || problem "no arguments exit $code"
run_tool "$1" page missing.bmp out.tif > /dev/null 2>&1; code=$?
[ "$code" = 1 ] || problem "a missing bitmap exits $code"
[ ! -e out.tif ] || problem "a missing bitmap left a page file"
run_tool "$1" png -o x.png 0.tif missing.tif > /dev/null 2>&1; code=$?
[ "$code" = 1 ] || problem "a missing page exits $code"
[ ! -e x_1.PNG ] || problem "a missing page got a PNG file"
set -e

[ "$fail" = 0 ] && echo "folvane tool: all checks passed"
exit "$fail"
