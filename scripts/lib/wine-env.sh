# Sourced by everything that runs Windows programs under Wine: one prefix,
# ANSI code page 936 (the bidders' systems), no debug noise, no Mono/Gecko.
here_wine_env=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here_wine_env/paths.sh"
export WINEPREFIX=$BIDDER_WINEPREFIX
export WINEARCH=win64
# WoW64 when wine32 is installed beside wine64 (Debian's 32-bit loader is
# there): the prefix then runs x86 programs too. A prefix made in the other
# mode does not work, so the mode is part of the prefix's stamp.
if [ -x /usr/lib/wine/wine ]; then BIDDER_WINE_MODE=wow64; else BIDDER_WINE_MODE=win64; fi
export BIDDER_WINE_MODE
export WINEDEBUG=${WINEDEBUG:--all}
# Wine takes its ANSI code page from the locale; LANG alone would give 1252.
# The install step generates the locale; before it exists, setting it would
# only make every program complain (the prefix step then says what is wrong).
if locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  export LC_ALL=zh_CN.UTF-8
fi
# No debugger: a program that crashes ends at once with an error status
# instead of waiting in winedbg until the test's time runs out. No COM
# surrogate: in a WoW64 prefix a client that finds no in-process server of its
# own architecture would otherwise be served by the other architecture's DLL
# in dllhost.exe, so a test of one architecture would pass with the other's
# registration (and hang on the surrogate holding its output open).
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;dllhost.exe=d;${BIDDER_EXTRA_DLLOVERRIDES:-}"
export DISPLAY=
