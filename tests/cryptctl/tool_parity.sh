#!/usr/bin/env bash
# lockvale against the openssl command (an RC4 and MD5 we did not write) on
# the same inputs; with a second tool given, both tools must also agree byte
# for byte and read each other's files. A .exe runs under the project's Wine.
#   tool_parity.sh LOCKVALE [OTHER_LOCKVALE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

. "$root/tests/support/tool_work.sh"
enter_work_dir lockvale-parity

openssl_rc4() {  # openssl_rc4 KEYHEX IN OUT
  openssl enc -rc4 -K "$1" -nosalt -provider legacy -provider default -in "$2" -out "$3"
}
fail=0
check() { if cmp -s "$2" "$3"; then :; else echo "FAIL: $1"; fail=1; fi; }

printf '\xbf\xda\xc1\xee' > gbk-key        # the GBK bytes of the pass phrase below
printf 'raw\0key\xff' > raw-key
for size in 0 999 1000 1001 2500 100000; do
  head -c "$size" /dev/urandom > "plain-$size"
  for key in pass raw empty; do
    case $key in
      pass) args=(--pass "口令"); keybytes=gbk-key ;;
      raw) args=(--key-file raw-key); keybytes=raw-key ;;
      empty) args=(--empty-key); : > empty-key; keybytes=empty-key ;;
    esac
    md5=$(openssl md5 -r < "$keybytes" | cut -c1-32)
    openssl_rc4 "$md5" "plain-$size" "ref-$size-$key"
    run_tool "$1" encrypt "plain-$size" "enc-$size-$key" "${args[@]}"
    check "$1 encrypt size $size key $key" "ref-$size-$key" "enc-$size-$key"
    run_tool "$1" decrypt "enc-$size-$key" "dec-$size-$key" "${args[@]}"
    check "$1 decrypt size $size key $key" "plain-$size" "dec-$size-$key"
    # 40-bit keys: the first five digest bytes, then eleven zero bytes.
    openssl_rc4 "${md5:0:10}0000000000000000000000" "plain-$size" "ref40-$size-$key"
    run_tool "$1" encrypt "plain-$size" "enc40-$size-$key" "${args[@]}" --key-bits 40
    check "$1 40-bit size $size key $key" "ref40-$size-$key" "enc40-$size-$key"
    if [ $# -ge 2 ] && [ -n "$2" ]; then
      run_tool "$2" encrypt "plain-$size" "other-$size-$key" "${args[@]}"
      check "$2 encrypt agrees, size $size key $key" "enc-$size-$key" "other-$size-$key"
      run_tool "$2" decrypt "enc-$size-$key" "otherdec-$size-$key" "${args[@]}"
      check "$2 decrypts $1's file, size $size key $key" "plain-$size" "otherdec-$size-$key"
    fi
  done
done

# A failure: the message and exit status 1, no destination.
set +e
run_tool "$1" encrypt missing out --empty-key > /dev/null 2> err; code=$?
set -e
[ "$code" = 1 ] || { echo "FAIL: missing source exits $code"; fail=1; }
[ ! -e out ] || { echo "FAIL: missing source created the destination"; fail=1; }

[ "$fail" = 0 ] && echo "tool parity: all files identical"
exit "$fail"
