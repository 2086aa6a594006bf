#!/usr/bin/env bash
# The main job, end to end on this machine: install, build every
# configuration, then show the file cipher across the platforms: a file
# encrypted by the Linux tool is decrypted by the Windows build under Wine,
# and the other way round, with identical bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${BIDDER_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"
for preset in native win64 win32; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" >/dev/null
done

trap '"$root/scripts/wine-prefix.sh" stop; rm -rf "${work:-}"' EXIT
"$root/scripts/wine-prefix.sh" start
. "$root/scripts/paths.sh"
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

echo "== a failure shows the control's message"
"$native" decrypt missing.enc out.txt --pass "$pass" || true
echo "demo: done"
