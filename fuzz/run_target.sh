#!/usr/bin/env bash
# Runs one fuzz target, for ctest and scripts/fuzz.sh.
#   run_target.sh replay TARGET REGRESSIONS
#       runs every input saved in REGRESSIONS once (none saved: nothing to do)
#   run_target.sh fuzz TARGET REGRESSIONS SEEDS WORK SECONDS MAX_LEN [DICT]
#       fuzzes for SECONDS (or $BIDDER_FUZZ_SECONDS, for scripts/fuzz.sh)
#       from the seeds, the saved inputs and WORK/corpus (which keeps what it
#       finds for the next run); a failing input is written to WORK/artifacts/.
#       $BIDDER_FUZZ_FLAGS adds libFuzzer flags (e.g. -use_value_profile=1).
set -euo pipefail
mode=$1 target=$2 regressions=$3
# A page may take 512 MiB decoded; beyond that memory is a fault.
limits=(-rss_limit_mb=2048 -timeout=60)
case "$mode" in
  replay)
    shopt -s nullglob
    inputs=("$regressions"/*)
    if [ ${#inputs[@]} -eq 0 ]; then
      echo "no saved inputs in $regressions"
      exit 0
    fi
    exec "$target" "${limits[@]}" "${inputs[@]}"
    ;;
  fuzz)
    seeds=$4 work=$5 seconds=${BIDDER_FUZZ_SECONDS:-$6} maxLen=$7
    mkdir -p "$work/corpus" "$work/artifacts"
    dirs=("$work/corpus" "$seeds")
    dict=()
    [ -n "${8:-}" ] && dict=(-dict="$8")
    [ -d "$regressions" ] && dirs+=("$regressions")
    # shellcheck disable=SC2086  # the flags are words
    exec "$target" "${limits[@]}" -max_total_time="$seconds" -max_len="$maxLen" \
      -artifact_prefix="$work/artifacts/" -print_final_stats=1 "${dict[@]}" ${BIDDER_FUZZ_FLAGS:-} "${dirs[@]}"
    ;;
  *)
    echo "usage: run_target.sh replay|fuzz TARGET ..." >&2
    exit 2
    ;;
esac
