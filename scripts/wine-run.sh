#!/usr/bin/env bash
# Runs one Windows program under the project's Wine prefix (the ctest emulator).
# Start the prefix first (scripts/wine-prefix.sh start); this only runs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/wine-env.sh"
exec wine "$@"
