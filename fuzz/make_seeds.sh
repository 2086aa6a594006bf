#!/usr/bin/env bash
# Writes the fuzz targets' seeds into DIR/<kind>/ with the project's own
# fixture makers: the test suite's page files, its bitmaps, and token images
# made by `lockvale token init`; key files, extent records and desk service
# requests by hand.
#   make_seeds.sh DIR MAKE_PAGE_FIXTURES MAKE_DIB_SEEDS LOCKVALE
set -euo pipefail
dir=$1 makePages=$2 makeDibs=$3 lockvale=$4
rm -rf "$dir"
mkdir -p "$dir"/page "$dir"/dib "$dir"/token "$dir"/key "$dir"/extent "$dir"/rpc

"$makePages" "$dir/page"
"$makeDibs" "$dir/dib"

"$lockvale" token init "$dir/token/userid" --serial 0000000A --pin 1234 --userid bidder
"$lockvale" token init "$dir/token/record" --serial 12AB34CD --pin 000000 \
  --record-hex "$(printf 'ab%.0s' {1..32})" --fault no-device --fault read-fails
"$lockvale" token init "$dir/token/bare" --serial FFFFFFFF --pin 8888
printf 'FT_ND_API token image 1\r\n# by hand\r\nfixed-code = 00ff\r\ndirectory = a\r\ndirectory = b\r\nfile = a 1\r\nfile = b 4294967295 0102\r\nfault = pin-refused\r\n' \
  >"$dir/token/hand"

printf 'a pass phrase' >"$dir/key/phrase"
: >"$dir/key/empty"
printf 'raw\0key\377\r\n' >"$dir/key/raw"

# Extent records as the control writes them (version 0x0800, VT_UI4 sizes),
# an older version with VT_I4 sizes, and one with bytes after it.
printf '\000\010\000\000\023\000\240\017\000\000\023\000\100\037\000\000' >"$dir/extent/written"
printf '\000\004\000\000\003\000\001\000\000\000\003\000\377\377\377\177' >"$dir/extent/older"
printf '\000\010\000\000\023\000\000\000\000\000\023\000\000\000\000\000tail' >"$dir/extent/trailing"

# Desk service requests: a plain one, one with every kind of parameter, and a
# refused one (params as an array).
printf '%s' '{"jsonrpc":"2.0","id":1,"method":"scanner.list"}' >"$dir/rpc/plain"
printf '%s' '{"jsonrpc":"2.0","id":"p-2","method":"scanner.scan","params":{"id":"s1","keep":true,"resolution":300,"to":-7,"mode":"gray","title":"\u6295\u6807"}}' \
  >"$dir/rpc/params"
printf '%s' '{"jsonrpc":"2.0","id":null,"method":"document.move","params":[1,[2.5e3,{"a":null}]]}' >"$dir/rpc/positional"
