# What the scripts keep outside the source tree, at the same place as
# scripts/lib/paths.sh: BIDDER_CACHE_DIR, and the install step's answer to whether
# this kernel runs 32-bit programs, BIDDER_X86_RUNS (ON or OFF; no answer yet
# counts as OFF). Included by the toolchain files, so it needs no project().
if(DEFINED ENV{BIDDER_CACHE})
  set(BIDDER_CACHE_DIR $ENV{BIDDER_CACHE})
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(BIDDER_CACHE_DIR $ENV{XDG_CACHE_HOME}/bidder-controls)
else()
  set(BIDDER_CACHE_DIR $ENV{HOME}/.cache/bidder-controls)
endif()

set(BIDDER_X86_RUNS OFF)
if(EXISTS ${BIDDER_CACHE_DIR}/x86-runs)
  file(STRINGS ${BIDDER_CACHE_DIR}/x86-runs x86_runs_answer LIMIT_COUNT 1)
  if(x86_runs_answer STREQUAL "yes")
    set(BIDDER_X86_RUNS ON)
  endif()
endif()
