#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native, sanitizer,
# fuzz, x64 and x86 configurations, and runs the native, sanitizer and fuzz
# suites (each fuzz target briefly, see fuzz/) and the Wine suites of both
# architectures (x86 under WoW64 Wine, where this kernel runs 32-bit programs;
# elsewhere the x86 suite has only its non-Wine checks).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${BIDDER_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"

for preset in native native-sanitize fuzz win64 win32; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

# One wineserver for the whole run, ended however the run ends.
trap '"$root/scripts/wine-prefix.sh" stop' EXIT
"$root/scripts/wine-prefix.sh" start

status=0
for preset in native native-sanitize fuzz win64 win32; do
  echo "== test $preset"
  ctest --preset "$preset" -j "$jobs" || status=1
done
exit "$status"
