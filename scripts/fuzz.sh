#!/usr/bin/env bash
# Runs every fuzz target for longer than the test suite does (default 300
# seconds each, two at a time), continuing from the corpus earlier runs
# kept in build/fuzz/fuzz/work/<target>/corpus. A failing input lands in
# build/fuzz/fuzz/work/<target>/artifacts/; once mended, save it under
# fuzz/regressions/<target>/ so that ctest replays it.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-300}
shift || true
jobs=${BIDDER_JOBS:-$(nproc)}

"$root/scripts/install-deps.sh"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --preset fuzz -R '^fuzz\.seeds$' >/dev/null

build=$root/build/fuzz/fuzz
mkdir -p "$build/work"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$build"/*_fuzz; do targets+=("$(basename "${t%_fuzz}")"); done
fi
# The inputs each target reads at most (as in fuzz/CMakeLists.txt).
max_len() { case "$1" in key_file) echo 70000 ;; token_image) echo 16384 ;; *) echo 65536 ;; esac; }
seed_kind() { case "$1" in page_*) echo page ;; dib_capture) echo dib ;; token_image) echo token ;; key_file) echo key ;; *) echo "$1" ;; esac; }

run() {
  local t=$1
  echo "== fuzz $t for ${seconds}s"
  "$root/fuzz/run_target.sh" fuzz "$build/${t}_fuzz" "$root/fuzz/regressions/$t" "$build/seeds/$(seed_kind "$t")" \
    "$build/work/$t" "$seconds" "$(max_len "$t")" >"$build/work/$t.log" 2>&1
}
# `jobs` lanes side by side, each running its share of the targets in turn.
lanes=()
for ((lane = 0; lane < jobs; ++lane)); do
  (
    lane_status=0
    for ((i = lane; i < ${#targets[@]}; i += jobs)); do run "${targets[i]}" || lane_status=1; done
    exit "$lane_status"
  ) &
  lanes+=($!)
done
status=0
for p in "${lanes[@]}"; do wait "$p" || status=1; done
for t in "${targets[@]}"; do
  printf '%-14s %s\n' "$t" "$(grep -E '^(Done|SUMMARY)' "$build/work/$t.log" | tail -1)"
done
exit "$status"
