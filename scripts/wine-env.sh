# Sourced by everything that runs Windows programs under Wine: one prefix,
# ANSI code page 936 (the bidders' systems), no debug noise, no Mono/Gecko.
here_wine_env=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here_wine_env/paths.sh"
export WINEPREFIX=$BIDDER_WINEPREFIX
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# Wine takes its ANSI code page from the locale; LANG alone would give 1252.
export LC_ALL=zh_CN.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;${BIDDER_EXTRA_DLLOVERRIDES:-}"
export DISPLAY=
