#!/usr/bin/env bash
# Runs control_script.js under Wine's script host against the registered
# control, then checks the files it wrote: against the openssl command (an
# RC4 and MD5 we did not write) and, when given, the native lockvale tool,
# which decrypts the control's file and encrypts one that the control decrypts.
#   control_script_test.sh SCRIPT [NATIVE_LOCKVALE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine-env.sh"
script=$1
native=${2:-}

# Inside the prefix's C: drive, so that relative names mean the same file to
# Linux and Windows programs.
work=$(mktemp -d "$WINEPREFIX/drive_c/lockvale-script.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$script" test.js

fail=0
check() { if cmp -s "$2" "$3"; then :; else echo "FAIL: $1"; fail=1; fi; }
openssl_rc4() {  # openssl_rc4 KEYFILE IN OUT: RC4 keyed by the MD5 of the key file's bytes
  local md5
  md5=$(openssl md5 -r < "$1" | cut -c1-32)
  openssl enc -rc4 -K "$md5" -nosalt -provider legacy -provider default -in "$2" -out "$3"
}

head -c 2500 /dev/urandom > plain.bin
head -c 300 /dev/urandom > victim.bin
cp victim.bin victim.orig
printf 'pw' > key-pw
: > key-empty
printf '\xbf\xda\xc1\xee' > key-gbk   # 口令 in code page 936
if [ -n "$native" ]; then
  "$native" encrypt plain.bin native-enc.bin --pass '口令'
else
  openssl_rc4 key-gbk plain.bin native-enc.bin
fi

set +e
out=$(wine cscript //nologo test.js 2>&1 | tr -d '\r')
code=$?
set -e
printf '%s\n' "$out"
# A script that doesn't parse exits 0 silently: insist on the final line.
[ "$code" = 0 ] && grep -q -x 'PASS: all' <<<"$out" || { echo "FAIL: script exited $code without 'PASS: all'"; fail=1; }

openssl_rc4 key-pw plain.bin ref-pw.bin
openssl_rc4 key-empty plain.bin ref-empty.bin
openssl_rc4 key-gbk plain.bin ref-gbk.bin
check "pass phrase: encrypted bytes" ref-pw.bin enc-pw.bin
check "pass phrase: round trip" plain.bin round-pw.bin
check "PIN flag 2 encrypts alike" ref-pw.bin enc-pw-flag2.bin
check "PIN flag -1 encrypts alike" ref-pw.bin enc-pw-flagm1.bin
check "empty pass phrase: encrypted bytes" ref-empty.bin enc-empty.bin
check "type 7: the empty key" ref-empty.bin enc-type7.bin
check "type 7 ignores an inexpressible pass phrase" ref-empty.bin enc-type7b.bin
check "empty key: round trip" plain.bin round-empty.bin
check "Chinese pass phrase hashed as GBK" ref-gbk.bin enc-gbk.bin
check "the control decrypts the other tool's file" plain.bin native-round.bin
check "the source survives naming it as destination" victim.orig victim.bin
[ "$(stat -c %s wrong.bin)" = 2500 ] && ! cmp -s wrong.bin plain.bin || { echo "FAIL: wrong pass phrase"; fail=1; }
if [ -n "$native" ]; then
  "$native" decrypt enc-gbk.bin native-dec.bin --pass '口令'
  check "the native tool decrypts the control's file" plain.bin native-dec.bin
fi

[ "$fail" = 0 ] && echo "PASS: control script and files"
exit "$fail"
