#!/usr/bin/env bash
# Runs page scripts in the page host under Wine and checks the files they
# left behind with Linux tools (qpdf, poppler, Python's imaging library).
#   page_test.sh lockvale PAGEHOST          the encryption control on a page
#   page_test.sh flow PAGEHOST PICTURES     scan, bind, export (scan_flow.js)
#   page_test.sh keep PAGEHOST              what keeps the document (keep_pages.js)
#   page_test.sh release PAGEHOST           the page closing at awkward moments
#   page_test.sh host PAGEHOST              the host itself fails the runs it must fail
#   page_test.sh day PAGEHOST LOCKVALE      the demo's bidder's day (tools/pagehost/bidder_day.js)
# PICTURES is scanner_picture.exe (the virtual scanner's pictures as files),
# LOCKVALE the native lockvale tool (the token image, the server's decryption).
# PAGEHOST_CONTROLS (environment): control modules, separated by ':', that
# the test registers with regsvr32 first and unregisters at the end; the
# test runs under the lock of their registry tests, and whatever those left
# behind does not matter. The scanning control's tests need the virtual
# scanner installed for the architecture of PAGEHOST.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/tests/support/tool_work.sh"
mode=$1
pagehost=$2
pictures=${3:-}
enter_work_dir "pagehost-$mode"
fail=0
IFS=: read -r -a controls <<<"${PAGEHOST_CONTROLS:-}"
unregister_controls() {
  local module
  for module in "${controls[@]}"; do "$here/regsvr.sh" unregister "$module" || true; done
}
trap 'unregister_controls; rm -rf "$work"' EXIT
for module in "${controls[@]}"; do
  "$here/regsvr.sh" register "$module" || { echo "FAIL: regsvr32 $module"; exit 1; }
done
folvane=VORLA.FolvaneCtrl.1

# run_page SCRIPT [PROGID [ITEM]]: the page host over one script (with the
# options in page_options); its output goes to SCRIPT.out and is shown.
# Fails the test unless the host says PASS.
page_options=()
run_page() {
  local script=$1 progid=${2:-$folvane} item=${3:-scanner} code=0
  cp "$here/$script" .
  run_tool "$pagehost" "${page_options[@]}" "$item=$progid" "$script" > "$script.out" 2>&1 || code=$?
  tr -d '\r' < "$script.out" | sed "s/^/  [$script] /"
  grep -q -x "PASS: $script" <(tr -d '\r' < "$script.out") || { echo "FAIL: $script (exit $code)"; fail=1; }
}
check() {  # check WHAT COMMAND...
  local what=$1; shift
  if "$@"; then :; else echo "FAIL: $what"; fail=1; fi
}
no_page_files() { ! ls pages/*.tif >/dev/null 2>&1; }
py=/usr/bin/python3

case $mode in
  lockvale)
    head -c 5000 /dev/urandom > plain.bin
    printf '\xbf\xda\xc1\xee' > key-gbk   # 口令 in code page 936
    md5=$(openssl md5 -r < key-gbk | cut -c1-32)
    openssl enc -rc4 -K "$md5" -nosalt -provider legacy -provider default -in plain.bin -out ref.bin
    # The host window classes of two of Wine's ATL libraries.
    for atl in atl.dll atl100.dll; do
      page_options=(--atl "$atl")
      rm -f enc.bin round.bin
      run_page lockvale_page.js Lockvale.EnOrDecrypt crypt
      check "$atl: the page's encrypted file is RC4 under the GBK pass phrase" cmp -s ref.bin enc.bin
      check "$atl: the page decrypts it again" cmp -s plain.bin round.bin
    done
    ;;

  flow)
    run_page scan_flow.js
    # The pictures each output page must show: depth:width:height:picture.
    bid=(1:96:64:0 1:96:64:1 8:64:48:10 24:80:60:20 24:80:60:21)
    singles=(8:64:48:30)
    multis=(24:80:60:40 24:80:60:41 24:80:60:42)
    args=()
    for i in "${!bid[@]}"; do args+=("${bid[$i]}:want-bid-$i.ppm"); done
    args+=("${singles[0]}:want-single.ppm")
    for i in "${!multis[@]}"; do args+=("${multis[$i]}:want-multi-$i.ppm"); done
    run_tool "$pictures" "${args[@]}"

    check "qpdf --check bid.pdf" qpdf --check bid.pdf > /dev/null
    info=$(pdfinfo -enc UTF-8 bid.pdf)
    for line in 'Creator:         扫描控件' 'Author:          投标人 𠮷吉' 'Title:           投标文件 䶵' \
                'Subject:         商务标 (第1册)' 'Pages:           5' 'PDF version:     1.4'; do
      grep -q -F -x -- "$line" <<<"$info" || { echo "FAIL: pdfinfo has no line '$line'"; fail=1; }
    done
    # Each page has its image's size at the scan's resolution.
    sizes=$(pdfinfo -f 1 -l 5 bid.pdf | sed -n 's/^Page *\([0-9]*\) size: *\([0-9.]*\) x \([0-9.]*\) pts.*/\1 \2 \3/p')
    want=$'1 34.56 23.04\n2 34.56 23.04\n3 46.08 34.56\n4 38.4 28.8\n5 38.4 28.8'
    check "page sizes: got '$sizes'" [ "$sizes" = "$want" ]
    pdfimages bid.pdf got-bid
    # The pixels of every output page against the scanner's picture.
    compare() {  # compare GOT WANT
      "$py" - "$1" "$2" <<'PY' || { echo "FAIL: $1 differs from the scanner's picture $2"; fail=1; }
import sys
from PIL import Image
got, want = (Image.open(p) for p in sys.argv[1:3])
g, w = got.convert("RGB"), want.convert("RGB")
sys.exit(0 if g.size == w.size and g.tobytes() == w.tobytes() else 1)
PY
    }
    got=(got-bid-*)
    check "five images in bid.pdf, got ${#got[@]}" [ "${#got[@]}" = 5 ]
    for i in "${!bid[@]}"; do
      [ -n "${got[$i]:-}" ] && compare "${got[$i]}" "want-bid-$i.ppm"
    done
    compare single.PNG want-single.ppm
    for i in "${!multis[@]}"; do compare "multi_$i.PNG" "want-multi-$i.ppm"; done
    check "no page files left" no_page_files
    ;;

  keep)
    # In the ATL host window of another version of the library.
    page_options=(--atl atl100.dll)
    run_page keep_pages.js
    out=$(tr -d '\r' < keep_pages.js.out)
    check "the console line for a file held open" grep -q -x -F 'Can not create PDF file.' <<<"$out"
    # (written without a line break at the end: what the host prints next follows on that line)
    check "... and its second line" grep -q '^May be file opened by another process' <<<"$out"
    check "qpdf --check held.pdf" qpdf --check held.pdf > /dev/null
    check "the kept pages went into held.pdf at the second attempt" \
      grep -q -x 'Pages: *2' <(pdfinfo held.pdf)
    check "no page files left" no_page_files
    ;;

  release)
    for script in release_while_scanning.js release_in_selection.js release_in_save_as.js release_in_message_box.js; do
      run_page "$script"
      check "$script: the page files went with the control" no_page_files
      rm -rf pages
    done
    ;;

  host)
    # expect_failure NAME EXIT LINE [HOST OPTIONS...] < SCRIPT: the run exits
    # EXIT and prints LINE (a fixed string), and no PASS.
    expect_failure() {
      local name=$1 want=$2 line=$3 code=0
      shift 3
      cat > "$name.js"
      run_tool "$pagehost" "$@" "scanner=$folvane" "$name.js" > "$name.out" 2>&1 || code=$?
      local out
      out=$(tr -d '\r' < "$name.out")
      if [ "$code" != "$want" ] || ! grep -q -F -- "$line" <<<"$out" || grep -q '^PASS' <<<"$out"; then
        echo "FAIL: $name: expected exit $want and '$line', got exit $code:"
        sed 's/^/    /' <<<"$out"
        fail=1
      fi
    }
    expect_failure script-error 1 'script error at line 4, column' <<'JS'
host.log("the first step runs");
// @step the second step names what does not exist
host.log("still fine");
nothing.here();
JS
    # An error inside a function of the host's prelude names the prelude.
    expect_failure prelude-error 1 "script error in the host's prelude at line" <<'JS'
scanPages(undefined, 1);
JS
    expect_failure failed-check 1 'FAIL: one is two' <<'JS'
host.check(1 == 2, "one is two");
JS
    expect_failure unexpected-dialog 1 'FAIL: a dialog nobody expected: "Save As PDF" (cancelled)' <<'JS'
useVirtualScanner({});
scanPages(scanner, 1);
// @step nobody said what to answer
scanner.ConvertToPDF("c", "a", "t", "s");
host.check(host.pageFiles() == 1, "the cancelled dialog kept the page");
JS
    grep -q -F 'ok: the cancelled dialog kept the page' unexpected-dialog.out || { echo "FAIL: the unexpected dialog was not cancelled"; fail=1; }
    expect_failure dialog-never-came 1 'FAIL: 1 expected dialog(s) never came' <<'JS'
host.answerSaveAs("never.pdf");
JS
    expect_failure wrong-dialog 1 'is not the Save As dialog expected (cancelled)' <<'JS'
host.answerSaveAs("never.pdf");
scanner.SelectScanner();
JS
    expect_failure steps-after-release 1 '1 step(s) after that were not run' <<'JS'
host.release();
// @step a closed page runs nothing more
host.log("never");
JS
    expect_failure hang 3 'the run took longer than 2 s: stopped' --timeout 2 <<'JS'
host.pump(20000);
JS
    ;;

  day)
    # Both controls on the demo's page: the PDF it binds and encrypts with
    # the stand-in token's USERID after the PIN check decrypts on the
    # tendering server to the very same bytes.
    lockvale=$pictures
    "$lockvale" token init token.img --serial 0000002A --pin 1234 --userid 'BIDDER-0815' > /dev/null
    printf 'BIDDER-0815' > userid.key
    cp "$root/tools/pagehost/bidder_day.js" .
    token_win=$(. "$root/scripts/lib/wine-env.sh"; winepath -w token.img)
    code=0
    FT_ND_API_TOKEN=$token_win run_tool "$pagehost" "scanner=$folvane" crypt=Lockvale.EnOrDecrypt bidder_day.js \
      > bidder_day.js.out 2>&1 || code=$?
    tr -d '\r' < bidder_day.js.out | sed "s/^/  [bidder_day.js] /"
    grep -q -x "PASS: bidder_day.js" <(tr -d '\r' < bidder_day.js.out) || { echo "FAIL: bidder_day.js (exit $code)"; fail=1; }
    check "the server decrypts the bidder's PDF" "$lockvale" decrypt tender-scan.pdf.enc server.pdf --key-file userid.key
    check "... to the same bytes" cmp -s tender-scan.pdf server.pdf
    check "qpdf --check server.pdf" qpdf --check server.pdf > /dev/null
    check "three pages" grep -q -x 'Pages: *3' <(pdfinfo server.pdf)
    check "no page files left" no_page_files
    ;;

  *)
    echo "usage: $0 lockvale|flow|keep|release|host|day PAGEHOST [PICTURES|LOCKVALE]" >&2
    exit 2
    ;;
esac

[ "$fail" = 0 ] && echo "PASS: page $mode"
exit "$fail"
