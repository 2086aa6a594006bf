#!/usr/bin/env bash
# The one place that prepares Wine for tests and the demo.
#   wine-prefix.sh start   create the prefix if needed (code page 936, null
#                          graphics driver), then keep one wineserver running
#   wine-prefix.sh stop    end that wineserver
# Callers that start it end it with a trap (see scripts/test.sh, scripts/demo.sh);
# ctest runs start/stop as a fixture around every Wine-run test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/wine-env.sh"

log() { printf '[wine] %s\n' "$*" >&2; }

prepare() {
  # Made again whenever the installed Wine changes between 64-bit only and
  # WoW64: a prefix made before wine32 came fails every call.
  local stamp=$WINEPREFIX/.bidder-prefix-v2-$BIDDER_WINE_MODE
  [ -f "$stamp" ] && return 0
  log "creating prefix $WINEPREFIX ($BIDDER_WINE_MODE)"
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Windows, hooks and dialogs without an X server.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  local acp
  acp=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null | tr -d '\r' | awk '/ACP/ {print $3}')
  [ "$acp" = 936 ] || { log "ANSI code page is '$acp', expected 936 (is the zh_CN.UTF-8 locale installed?)"; exit 1; }
  touch "$stamp"
}

case "${1:-start}" in
  start)
    prepare
    # A persistent server: later wine calls start in a fraction of a second.
    # It must not hold the caller's output open (ctest waits for that), and
    # it refuses to start when one is already running, which is fine.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
