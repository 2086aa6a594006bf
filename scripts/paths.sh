# Sourced by the other scripts: where things live outside the source tree.
# BIDDER_DEPS: cross-built static libraries, one prefix per MinGW triplet.
# BIDDER_WINEPREFIX: the Wine prefix the tests and the demo run in.
: "${BIDDER_CACHE:=${XDG_CACHE_HOME:-$HOME/.cache}/bidder-controls}"
: "${BIDDER_DEPS:=$BIDDER_CACHE/deps}"
: "${BIDDER_WINEPREFIX:=$BIDDER_CACHE/wineprefix}"
export BIDDER_CACHE BIDDER_DEPS BIDDER_WINEPREFIX
