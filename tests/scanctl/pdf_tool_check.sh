#!/usr/bin/env bash
# The built folvane tool over every kind of page file, checked with tools we
# did not write (qpdf, pdfinfo, pdfimages). With a second (native) tool given,
# both must write the same bytes: the native output is checked pixel by pixel
# by pdf_output_test. A .exe runs under the project's Wine.
#   pdf_tool_check.sh FOLVANE MAKE_PAGE_FIXTURES [NATIVE_FOLVANE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tool=$1 fixtures=$2 native=${3:-}

. "$root/tests/support/tool_work.sh"
enter_work_dir folvane-pdf
mkdir pages
"$fixtures" pages
fail=0
check() { if eval "$2"; then :; else echo "FAIL: $1"; fail=1; fi; }

pages=(pages/*.tif)
expected_pages=$(( ${#pages[@]} - 1 ))   # 99.tif is no image
status=0
run_tool "$tool" pdf -o out.pdf --creator "扫描控件" --author "张三" --title "招标文件" --subject "第1卷" \
  "${pages[@]}" >stdout 2>stderr || status=$?
check "binding exits 0 (got $status: $(cat stderr))" '[ "$status" = 0 ]'
check "the page that is no image is named" 'grep -q "skipped pages/99.tif" stderr'
check "qpdf --check" 'qpdf --check out.pdf >qpdf.log 2>&1'
pdfinfo -enc UTF-8 out.pdf >info || true
check "PDF 1.4" 'grep -q "^PDF version: *1.4$" info'
check "$expected_pages pages" 'grep -q "^Pages: *$expected_pages$" info'
check "Chinese title" 'grep -q "^Title: *招标文件$" info'
check "Chinese creator" 'grep -q "^Creator: *扫描控件$" info'
check "Chinese subject" 'grep -q "^Subject: *第1卷$" info'
images=$(pdfimages -list out.pdf | tail -n +3 | wc -l)
check "one image per page ($images)" '[ "$images" = "$expected_pages" ]'
if [ -n "$native" ]; then
  "$native" pdf -o native.pdf --creator "扫描控件" --author "张三" --title "招标文件" --subject "第1卷" \
    "${pages[@]}" 2>/dev/null
  check "the same bytes as the native tool" 'cmp -s out.pdf native.pdf'
fi

status=0
run_tool "$tool" pdf -o missing-dir/out.pdf pages/00.tif >stdout 2>stderr || status=$?
check "unwritable output exits 1" '[ "$status" = 1 ]'
check "the console text on standard output" \
  '[ "$(tr -d "\r" <stdout)" = "$(printf "Can not create PDF file.\nMay be file opened by another process")" ]'

status=0
run_tool "$tool" pdf -o none.pdf pages/99.tif >stdout 2>stderr || status=$?
check "no readable page exits 1" '[ "$status" = 1 ]'
check "no readable page leaves no file" '[ ! -e none.pdf ]'

status=0
run_tool "$tool" pdf pages/00.tif >stdout 2>stderr || status=$?
check "usage error exits 2" '[ "$status" = 2 ]'

[ "$fail" = 0 ] && echo "PASS"
exit "$fail"
