#!/usr/bin/env bash
# Runs every test: installs what is missing, then the workflow of each
# configuration (configure, build, test; CMakePresets.json): native, with
# sanitizers, the fuzz targets (each briefly, see fuzz/), x64 and x86 under
# Wine (x86 where this kernel runs 32-bit programs; elsewhere the x86 suite
# has only its non-Wine checks); last, the demo's path for machines without
# 32-bit support. The Windows suites compare with the native tools, so the
# native workflow comes first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export CMAKE_BUILD_PARALLEL_LEVEL=${BIDDER_JOBS:-$(nproc)}
export CTEST_PARALLEL_LEVEL=$CMAKE_BUILD_PARALLEL_LEVEL

"$root/scripts/install-deps.sh"

# One wineserver for the whole run, ended however the run ends.
trap '"$root/scripts/wine-prefix.sh" stop' EXIT
"$root/scripts/wine-prefix.sh" start

status=0
for workflow in native native-sanitize fuzz win64 win32; do
  echo "== $workflow"
  cmake --workflow --preset "$workflow" || status=1
done

# The demo's path for machines whose kernel runs no 32-bit program: the x64
# controls and the bidder's day in x64, on any machine. (Where x86 runs, the
# demo's own x86 path is what scripts/demo.sh shows.)
echo "== the demo's x64 path (BIDDER_DEMO_WITHOUT_X86=1)"
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
