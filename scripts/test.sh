#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the native, sanitizer,
# fuzz, x64 and x86 configurations, and runs the native, sanitizer and fuzz
# suites (each fuzz target briefly, see fuzz/) and the Wine suites of both
# architectures (x86 under WoW64 Wine, where this kernel runs 32-bit programs;
# elsewhere the x86 suite has only its non-Wine checks), then the demo's path
# for machines without 32-bit support.
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

# The demo's path for machines whose kernel runs no 32-bit program: the x64
# controls and the bidder's day in x64, on any machine. (Where x86 runs, the
# demo's own x86 path is what scripts/demo.sh shows.)
echo "== test the demo's x64 path (BIDDER_DEMO_WITHOUT_X86=1)"
demo_log=$(mktemp)
if BIDDER_DEMO_WITHOUT_X86=1 "$root/scripts/demo.sh" >"$demo_log" 2>&1 \
   && grep -q '^== x86: .* not run: ' "$demo_log" \
   && grep -q "^== the bidder's day (x64)" "$demo_log" \
   && ! grep -q 'setlocale' "$demo_log" \
   && tail -n 1 "$demo_log" | grep -qx 'demo: done'; then
  echo "demo x64 path: passed"
else
  cat "$demo_log"
  echo "demo x64 path: FAILED"
  status=1
fi
rm -f "$demo_log"
exit "$status"
