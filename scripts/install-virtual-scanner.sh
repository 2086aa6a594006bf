#!/usr/bin/env bash
# Installs the virtual scanner (virtualscanner/) into the project's Wine prefix
# as the data source Wine's TWAIN manager looks for: C:\windows\twain_64\sane.ds
# for a 64-bit build, twain_32\sane.ds for a 32-bit one. Programs that should
# see it run with BIDDER_EXTRA_DLLOVERRIDES="sane.ds=n;gphoto2.ds=" (the
# native DLL instead of Wine's built-in one, and no gphoto2 probe).
#   install-virtual-scanner.sh <virtualscanner.ds> [settings.ini]
# The optional settings file is installed beside it as virtualscanner.ini.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/wine-env.sh"

ds=${1:?usage: $0 <virtualscanner.ds> [settings.ini]}
[ -f "$ds" ] || { echo "no such file: $ds" >&2; exit 1; }
[ -d "$WINEPREFIX/drive_c/windows" ] || { echo "no Wine prefix at $WINEPREFIX (run scripts/wine-prefix.sh start)" >&2; exit 1; }

# The PE machine field decides the directory.
. "$here/lib/wine-arch.sh"
dir=$(wine_twain_dir "$(pe_arch "$ds")")

target=$WINEPREFIX/drive_c/windows/$dir
mkdir -p "$target"
cp -f "$ds" "$target/sane.ds"
if [ $# -ge 2 ]; then
  cp -f "$2" "$target/virtualscanner.ini"
fi
echo "installed $(basename "$ds") as C:\\windows\\$dir\\sane.ds"
