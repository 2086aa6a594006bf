#!/usr/bin/env bash
# Runs the fuzz targets for longer than the test suite does (default 300
# seconds each, as many at a time as there are cores), continuing from the
# corpus earlier runs kept in build/fuzz/fuzz/work/<target>/corpus. A failing
# input lands in build/fuzz/fuzz/work/<target>/artifacts/; once mended, save
# it under fuzz/regressions/<target>/ so that ctest replays it.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (targets: see fuzz/CMakeLists.txt)
# BIDDER_FUZZ_FLAGS in the environment adds libFuzzer flags.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-300}
shift || true
jobs=${BIDDER_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

# The saved inputs first, then each target for the time given.
pattern='^fuzz\.[a-z_]+(\.regressions)?$'
if [ $# -gt 0 ]; then
  pattern="^fuzz\\.($(IFS='|'; echo "$*"))(\\.regressions)?\$"
fi
BIDDER_FUZZ_SECONDS=$seconds ctest --preset fuzz -j "$jobs" -R "$pattern" --timeout $((seconds + 300))
