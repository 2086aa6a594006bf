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

# The demo both ways: as this machine allows (x86 where the install step
# found that it runs), and as on a machine whose kernel runs no 32-bit
# program (the x64 controls and the bidder's day in x64), on any machine.
. "$root/scripts/lib/paths.sh"
run_demo() {  # run_demo NAME EXPECTED_ARCH [VAR=VALUE...]
  local name=$1 arch=$2 log
  shift 2
  echo "== the demo, $name"
  log=$(mktemp)
  if env "$@" "$root/scripts/demo.sh" >"$log" 2>&1 \
     && grep -q "^== the bidder's day ($arch)" "$log" \
     && { [ "$arch" = x86 ] || grep -q '^== x86: .* not run: ' "$log"; } \
     && grep -q '^   the server opens the sealed file to the page.s PDF' "$log" \
     && [ -s "$(sed -n 's/^   the page with its thumbnails: //p' "$log")" ] \
     && ! grep -q 'setlocale' "$log" \
     && tail -n 1 "$log" | grep -qx 'demo: done'; then
    echo "demo ($name): passed"
  else
    cat "$log"
    echo "demo ($name): FAILED"
    status=1
  fi
  rm -f "$log"
}
if bidder_x86_runs; then run_demo "as this machine allows" x86; fi
run_demo "without x86 (BIDDER_DEMO_WITHOUT_X86=1)" x64 BIDDER_DEMO_WITHOUT_X86=1
exit "$status"
