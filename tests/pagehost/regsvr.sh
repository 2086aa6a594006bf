#!/usr/bin/env bash
# Registers or unregisters a control module with the system's regsvr32 under
# the project's Wine (the regsvr32 of the module's own architecture).
#   regsvr.sh register|unregister MODULE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/wine-env.sh"
module=$(winepath -w "$2")
case $1 in
  register) wine regsvr32 /s "$module" ;;
  unregister) wine regsvr32 /s /u "$module" ;;
  *) echo "usage: $0 register|unregister MODULE" >&2; exit 2 ;;
esac
