#!/usr/bin/env bash
# Runs control_script.js under Wine's script host against the registered
# control, then checks the files it wrote: against the openssl command (an
# RC4 and MD5 we did not write) and the native lockvale tool, which makes
# the token images, decrypts the control's file and encrypts one that the
# control decrypts.
#   control_script_test.sh SCRIPT NATIVE_LOCKVALE CONTROL_DLL
# The script host is the one of the control DLL's architecture (x86: the
# 32-bit cscript of a WoW64 prefix).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/wine-env.sh"
. "$root/scripts/lib/wine-arch.sh"
script=$1
native=$2
arch=$(pe_arch "$3")

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
"$native" encrypt plain.bin native-enc.bin --pass '口令'
printf 'USER-0042' > key-userid
printf 'OTHER-7' > key-other
printf '\xcd\xb6\xb1\xea\xc8\xcb' > key-chinese   # 投标人 in code page 936

# Token images for the stand-in FT_ND_API (see the README).
token() { "$native" token init "$@" > /dev/null; }
token good.img --serial 0000000A --pin 1234 --userid USER-0042
token other.img --serial 0000000B --pin 1234 --userid OTHER-7
token chinese.img --serial 0000000C --pin 1234 --userid '投标人'
token empty-userid.img --serial 0000000D --pin 1234 --record-hex "$(printf 'ff%.0s' $(seq 32))"
token no-context.img --serial 0000000A --pin 1234 --userid USER-0042 --fault no-context
token serial.img --serial 0000000A --pin 1234 --userid USER-0042 --fault property-unreadable
token nodir.img --serial 0000000A --pin 1234
token nofile.img --serial 0000000A --pin 1234 --userid USER-0042 --fault file-missing
token readfail.img --serial 0000000A --pin 1234 --userid USER-0042 --fault read-fails
token fixed-code.img --serial 0000000E --pin 1234 --userid NEVER-READ --fault fixed-code-refused
export FT_ND_API_TOKEN=current.img

set +e
out=$(wine_system_program "$arch" cscript.exe //nologo test.js 2>&1 | tr -d '\r')
code=$?
set -e
printf '%s\n' "$out"
# A script that doesn't parse exits 0 silently: insist on the final line.
[ "$code" = 0 ] && grep -q -x 'PASS: all' <<<"$out" || { echo "FAIL: script exited $code without 'PASS: all'"; fail=1; }

openssl_rc4 key-pw plain.bin ref-pw.bin
openssl_rc4 key-empty plain.bin ref-empty.bin
openssl_rc4 key-gbk plain.bin ref-gbk.bin
openssl_rc4 key-userid plain.bin ref-userid.bin
openssl_rc4 key-other plain.bin ref-other.bin
openssl_rc4 key-chinese plain.bin ref-chinese.bin
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
check "USERID: encrypted bytes" ref-userid.bin enc-userid.bin
check "USERID: round trip" plain.bin round-userid.bin
check "PIN then pass phrase" ref-pw.bin enc-pw-pin.bin
check "PIN then empty key" ref-empty.bin enc-empty-pin.bin
check "second token read" ref-other.bin enc-other.bin
check "Chinese USERID as GBK bytes" ref-chinese.bin enc-chinese.bin
check "empty USERID" ref-empty.bin enc-empty-userid.bin
check "kept USERID after a refused fixed code" ref-other.bin enc-kept.bin
check "the source survives naming it as destination" victim.orig victim.bin
[ "$(stat -c %s wrong.bin)" = 2500 ] && ! cmp -s wrong.bin plain.bin || { echo "FAIL: wrong pass phrase"; fail=1; }
"$native" decrypt enc-gbk.bin native-dec.bin --pass '口令'
check "the native tool decrypts the control's file" plain.bin native-dec.bin

[ "$fail" = 0 ] && echo "PASS: control script and files"
exit "$fail"
