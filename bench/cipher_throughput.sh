#!/usr/bin/env bash
# Throughput and peak memory of `lockvale encrypt` against `openssl enc -rc4`
# on the same file with the same key, in one run. Prints the ratio
# (lockvale throughput / openssl throughput) and each peak RSS, for a small and
# a large file to show memory flat in the file size.
#   bench/cipher_throughput.sh [LOCKVALE] [SIZE_MIB]   (defaults: native build, 1024)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lockvale=${1:-$root/build/native/cryptctl/lockvale}
size_mib=${2:-1024}
[ -x "$lockvale" ] || { echo "build first: cmake --preset native && cmake --build --preset native" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/cipher-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
key='bench pass phrase'
keyhex=$(printf '%s' "$key" | openssl md5 -r | cut -c1-32)

measure() {  # measure CMD... -> prints "seconds rss_kib"
  /usr/bin/time -o "$work/time" -f '%e %M' "$@" >/dev/null 2>&1
  tail -n 1 "$work/time"
}
best_of() {  # best_of N CMD... -> fastest "seconds rss_kib" of N runs
  local n=$1 best="" line; shift
  for _ in $(seq "$n"); do
    line=$(measure "$@")
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN{exit !(a<b)}'; then best=$line; fi
  done
  echo "$best"
}

for mib in 16 "$size_mib"; do
  head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/plain"
  cat "$work/plain" > /dev/null  # warm the page cache
  ours=$(best_of 3 "$lockvale" encrypt "$work/plain" "$work/ours" --pass "$key" --pass-encoding utf-8)
  peer=$(best_of 3 openssl enc -rc4 -K "$keyhex" -nosalt -provider legacy -provider default -in "$work/plain" -out "$work/peer")
  cmp -s "$work/ours" "$work/peer" || { echo "outputs differ" >&2; exit 1; }
  awk -v mib="$mib" -v o="$ours" -v p="$peer" 'BEGIN {
    split(o, a, " "); split(p, b, " ");
    ot = a[1] > 0 ? a[1] : 0.01; pt = b[1] > 0 ? b[1] : 0.01;
    printf "%5d MiB  lockvale %7.1f MiB/s  rss %6d KiB | openssl enc -rc4 %7.1f MiB/s  rss %6d KiB | throughput ratio %.2fx\n",
      mib, mib / ot, a[2], mib / pt, b[2], pt / ot }'
  rm -f "$work/ours" "$work/peer"
done
