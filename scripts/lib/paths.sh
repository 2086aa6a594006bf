# Sourced by the other scripts: where things live outside the source tree.
# BIDDER_DEPS: cross-built static libraries, one prefix per MinGW triplet.
# BIDDER_WINEPREFIX: the Wine prefix the tests and the demo run in.
# BIDDER_X86_FACT: the install step's answer to whether this kernel runs
#   32-bit programs ("yes" or "no"); cmake/BidderCache.cmake reads it too.
: "${BIDDER_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/bidder-controls}"
: "${BIDDER_DEPS:=$BIDDER_CACHE/deps}"
: "${BIDDER_WINEPREFIX:=$BIDDER_CACHE/wineprefix}"
BIDDER_X86_FACT=$BIDDER_CACHE/x86-runs
export BIDDER_CACHE BIDDER_DEPS BIDDER_WINEPREFIX BIDDER_X86_FACT

# True where the install step found that x86 programs run here (so x86 is
# tested and shown, not only built). No answer yet counts as no.
bidder_x86_runs() { [ "$(cat "$BIDDER_X86_FACT" 2>/dev/null)" = yes ]; }
