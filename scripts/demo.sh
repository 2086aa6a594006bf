#!/usr/bin/env bash
# The main job, end to end on this machine: install, build every
# configuration, then show the file cipher across the platforms: a file
# encrypted by the Linux tool is decrypted by the Windows build under Wine,
# and the other way round, with identical bytes; then the same through the
# encryption control itself, registered with regsvr32 and called from JScript
# the way the tendering pages call it, with a pass phrase and with the USERID
# of a (stand-in) USB token. Then the scanning core: bitmaps stored as page
# files and bound into one PDF document, or exported as PNG files. Last, the
# bidder's day: in the page host with both controls under Wine, and in
# headless Chromium through the desk service and its page library.
#
# The controls are shown in x86, the build most bidders' browsers load, where
# this machine runs 32-bit programs (the install step's answer), and in x64
# where it does not. BIDDER_DEMO_WITHOUT_X86=1 shows the x64 path on any
# machine (the test suite runs it so); it changes nothing else.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${BIDDER_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"
. "$root/scripts/lib/paths.sh"
if bidder_x86_runs && [ "${BIDDER_DEMO_WITHOUT_X86:-0}" != 1 ]; then
  demo_arch=x86 demo_build=win32
else
  demo_arch=x64 demo_build=win64
fi
for preset in native win64 win32; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

cleanup() {
  for dll in ${control_dlls:-}; do "$root/scripts/wine-run.sh" regsvr32 /s /u "$dll" || true; done
  "$root/scripts/wine-prefix.sh" stop
  rm -rf "${work:-}"
}
trap cleanup EXIT
"$root/scripts/wine-prefix.sh" start
if [ "$demo_arch" = x64 ]; then
  if bidder_x86_runs; then why="shown as on a machine that runs no 32-bit program (BIDDER_DEMO_WITHOUT_X86=1)"
  else why="this machine runs no 32-bit program"; fi
  . "$root/scripts/lib/wine-arch.sh"
  for pe in cryptctl/Lockvale.dll scanctl/Folvane.OCX; do
    [ "$(pe_arch "$root/build/win32/$pe")" = x86 ] || { echo "build/win32/$pe is not an x86 module" >&2; exit 1; }
  done
  echo "== x86: Lockvale.dll and Folvane.OCX built for x86 in build/win32 (scripts/test.sh checks their export tables), not run: $why; the controls are shown in x64"
fi
# Inside Wine's C: drive, so that relative names work for both programs.
work=$(mktemp -d "$BIDDER_WINEPREFIX/drive_c/demo.XXXXXX")
cd "$work"
native=$root/build/native/cryptctl/lockvale
windows=$root/build/win64/cryptctl/lockvale.exe
wine_run=$root/scripts/wine-run.sh

printf '投标文件 tender document %s\n' "$(date -u +%F)" > bid.txt
head -c 3000000 /dev/urandom >> bid.txt
pass='投标口令'

echo "== Linux encrypts, Windows (Wine) decrypts"
"$native" encrypt bid.txt bid.enc --pass "$pass"
"$wine_run" "$windows" decrypt bid.enc bid.win.txt --pass "$pass"
cmp bid.txt bid.win.txt && echo "   identical: $(stat -c %s bid.txt) bytes"

echo "== Windows (Wine) encrypts, Linux decrypts"
"$wine_run" "$windows" encrypt bid.txt bid.win.enc --pass "$pass"
"$native" decrypt bid.win.enc bid.linux.txt --pass "$pass"
cmp bid.txt bid.linux.txt && echo "   identical: $(stat -c %s bid.txt) bytes"
cmp bid.enc bid.win.enc && echo "   both encrypted files are the same bytes"

# The control, as a page drives it: new ActiveXObject, then one method call
# (scripts/demo/control.js, run by the script host in the work folder).
cp "$root/scripts/demo/control.js" .
# Most bidders' browsers are 32-bit: where x86 runs, the x86 control,
# registered by the 32-bit regsvr32 and driven by the 32-bit script host of
# the WoW64 prefix, is the one shown, and the x64 control then encrypts the
# same file alike. Elsewhere the x64 control is the one shown.
. "$root/scripts/lib/wine-arch.sh"
control_arch=$demo_arch
control() {  # prints the result string (empty: OK); status 1 when not empty
  local code=0
  (. "$root/scripts/lib/wine-env.sh"; wine_system_program "$control_arch" cscript.exe //nologo control.js "$@") || code=$?
  if [ "$code" = 0 ]; then echo "   control: OK"; else echo "   control: $(iconv -f UTF-16 -t UTF-8 result.txt)"; fi
  return "$code"
}
control_dlls=
control_builds=win64
[ "$demo_arch" = x86 ] && control_builds="win32 win64"
for arch_dir in $control_builds; do
  dll=$(. "$root/scripts/lib/wine-env.sh"; winepath -w "$root/build/$arch_dir/cryptctl/Lockvale.dll")
  echo "== register the $([ $arch_dir = win32 ] && echo x86 || echo x64) control: regsvr32 Lockvale.dll"
  "$wine_run" regsvr32 /s "$dll"
  control_dlls="$control_dlls $dll"
done

if [ "$demo_arch" = x86 ]; then script_host="32-bit JScript"; else script_host="64-bit JScript"; fi
echo "== the $demo_arch control ($script_host under Wine) encrypts with the pass phrase, Linux decrypts"
control encrypt 0 "" 1 bid.txt bid.ctl.enc
"$native" decrypt bid.ctl.enc bid.ctl.linux.txt --pass "$pass"
cmp bid.txt bid.ctl.linux.txt && echo "   identical: $(stat -c %s bid.txt) bytes"
cmp bid.enc bid.ctl.enc && echo "   the control's file is the same bytes as the tools'"

if [ "$demo_arch" = x86 ]; then
  control_arch=x64
  echo "== the x64 control does the same"
  control encrypt 0 "" 1 bid.txt bid.ctl64.enc
  cmp bid.ctl.enc bid.ctl64.enc && echo "   the same bytes as the x86 control's"
  control_arch=x86
fi

echo "== Linux encrypts, the control decrypts"
control decrypt 0 "" 1 bid.enc bid.ctl.txt
cmp bid.txt bid.ctl.txt && echo "   identical: $(stat -c %s bid.txt) bytes"

echo "== a USB token (stand-in image): PIN checked, the token's USERID is the key"
"$native" token init token.img --serial 0000002A --pin 1234 --userid 'BIDDER-0815'
export FT_ND_API_TOKEN=token.img
control encrypt 1 1234 0 bid.txt bid.token.enc
printf 'BIDDER-0815' > userid.key
"$native" decrypt bid.token.enc bid.token.txt --key-file userid.key
cmp bid.txt bid.token.txt && echo "   Linux decrypts it with the USERID: identical"
echo "   a wrong PIN:"
control encrypt 1 9999 0 bid.txt never.enc || true
unset FT_ND_API_TOKEN

echo "== a failure shows the control's message"
"$native" decrypt missing.enc out.txt --pass "$pass" || true

# The scanning core: bitmaps as a scanner delivers them become page files,
# then one PDF document (or PNG files), by the Windows tool and the Linux one.
folvane_native=$root/build/native/scanctl/tool/folvane
folvane_windows=$root/build/win64/scanctl/tool/folvane.exe
"$root/scripts/demo/make_scan_bitmaps.py"
echo "== bitmaps stored as scanned pages (Windows tool under Wine)"
for n in 0 1 2; do
  "$wine_run" "$folvane_windows" page "scan$n.bmp" "page$n.tif"
  echo "   page$n.tif: $(tiffinfo page$n.tif 2>/dev/null | grep -o 'Compression Scheme: .*')"
done
echo "== one PDF 1.4 document with Chinese document information"
"$wine_run" "$folvane_windows" pdf -o tender.pdf --creator "扫描控件" --author "投标人" \
  --title "投标文件" --subject "商务标" page0.tif page1.tif page2.tif
qpdf --check tender.pdf >/dev/null && echo "   qpdf --check: no errors"
pdfinfo -enc UTF-8 tender.pdf | grep -E '^(Title|Author|Pages|Page size|PDF version):' | sed 's/^/   /'
"$folvane_native" pdf -o tender.linux.pdf --creator "扫描控件" --author "投标人" \
  --title "投标文件" --subject "商务标" page0.tif page1.tif page2.tif
cmp tender.pdf tender.linux.pdf && echo "   the Linux tool writes the same bytes"
echo "== the same pages as PNG files"
"$folvane_native" png -o tender.png page0.tif page1.tif page2.tif
ls tender_*.PNG | sed 's/^/   /'

# ---- The bidder's whole day, as the tendering page runs it ------------------
# The scanning control registered with regsvr32 and the encryption control on
# one page: Wine's JScript engine runs the page's script
# (tools/pagehost/bidder_day.js) in the page host, which sites both controls
# in Wine's ATL host window and answers the dialogs as the bidder would. The virtual scanner stands in for
# the scanner, the token image above for the USB token. The PDF, encrypted
# with the token's USERID, goes to the tendering server, where the Linux
# lockvale decrypts it.
# In x86 where it runs, the build most bidders' browsers load: the 32-bit
# page host, the x86 controls and the x86 virtual scanner under Wine's 32-bit
# TWAIN manager; elsewhere the same in x64.
echo "== the bidder's day ($demo_arch): scan three pages, bind them into a PDF, encrypt it with the token"
folvane_ocx=$(. "$root/scripts/lib/wine-env.sh"; winepath -w "$root/build/$demo_build/scanctl/Folvane.OCX")
unregister_folvane() { "$wine_run" regsvr32 /s /u "$folvane_ocx" || true; }
trap 'unregister_folvane; cleanup' EXIT
echo "   regsvr32 Folvane.OCX"
"$wine_run" regsvr32 /s "$folvane_ocx"
"$root/scripts/install-virtual-scanner.sh" "$root/build/$demo_build/virtualscanner/virtualscanner.ds" | sed 's/^/   /'
cp "$root/tools/pagehost/bidder_day.js" .
token_win=$(. "$root/scripts/lib/wine-env.sh"; winepath -w token.img)
BIDDER_EXTRA_DLLOVERRIDES="sane.ds=n;gphoto2.ds=" FT_ND_API_TOKEN=$token_win \
  "$wine_run" "$root/build/$demo_build/tools/pagehost/pagehost.exe" \
  scanner=VORLA.FolvaneCtrl.1 crypt=Lockvale.EnOrDecrypt bidder_day.js | tr -d '\r' | sed 's/^/   page: /'
echo "== the tendering server decrypts it (Linux lockvale, the token's USERID as key)"
"$native" decrypt tender-scan.pdf.enc tender-scan.server.pdf --key-file userid.key
cmp tender-scan.pdf tender-scan.server.pdf && echo "   identical to the bidder's PDF: $(stat -c %s tender-scan.pdf) bytes"
qpdf --check tender-scan.server.pdf >/dev/null && echo "   qpdf --check: no errors"
pdfinfo -enc UTF-8 tender-scan.server.pdf | grep -E '^(Creator|Author|Title|Subject|Pages|Page size|PDF version):' | sed 's/^/   /'
# ---- end of the bidder's day ------------------------------------------------

# ---- The same day in any browser, through the desk service ------------------
# bidder-desk on Linux with SANE's own test scanner and the stand-in token,
# and the example page (desk/web/example) in headless Chromium, clicked
# through as a bidder would: ten sheets from the feeder, one deleted, one
# moved, bound with Chinese document information, a wrong PIN, then sealed.
desk_out=$root/build/demo-desk
rm -rf "$desk_out"
echo "== the bidder's day in a browser: bidder-desk and the example page in headless Chromium"
/usr/bin/python3 "$root/tools/browser/example_day.py" "$root/build/native/desk/service/bidder-desk" "$native" \
  "$root/build/native/tokenstub/libFT_ND_API.so" "$desk_out" | sed 's/^/   /'
"$native" decrypt "$desk_out/bid.pdf.enc" "$desk_out/bid.server.pdf" --key-file "$desk_out/userid.key"
cmp "$desk_out/bid.pdf" "$desk_out/bid.server.pdf" && echo "   the server opens the sealed file to the page's PDF: $(stat -c %s "$desk_out/bid.pdf") bytes"
qpdf --check "$desk_out/bid.server.pdf" >/dev/null && echo "   qpdf --check: no errors"
echo "   the page with its thumbnails: $desk_out/desk-day-thumbnails.png"

echo "demo: done"
