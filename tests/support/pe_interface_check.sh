#!/usr/bin/env bash
# What a Windows DLL shows its loader and its callers, read from the file:
# the name in its export table, exactly the exported names asked for (none
# stdcall-decorated: callers look them up by plain name, on x86 too), and
# imports from system DLLs only (plus the ones named with --also-imports), so
# that the module deploys as one file.
#   pe_interface_check.sh OBJDUMP DLL EXPORT_NAME SYMBOL... [--also-imports DLL...]
# A program (.exe) is checked with EXPORT_NAME "-" and no symbols: no export table.
set -euo pipefail
objdump=$1 dll=$2 want_name=$3
shift 3
want=() extra=()
while [ $# -gt 0 ] && [ "$1" != --also-imports ]; do want+=("$1"); shift; done
[ $# -gt 0 ] && { shift; extra=("$@"); }

dump=$("$objdump" -p "$dll")
fail=0

name=$(awk '/^The Export Tables/ { t = 1 } t && /^Name / { print $NF; exit }' <<<"$dump")
[ "$want_name" = - ] && want_name=""
[ "$name" = "$want_name" ] || { echo "FAIL: export table names the module '$name', expected '$want_name'"; fail=1; }

got=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { t = 1; next } t && /^\t\[/ { print $NF; next } t { exit }' <<<"$dump" |
  sort)
expected=$( ((${#want[@]})) && printf '%s\n' "${want[@]}" | sort || true)
if [ "$got" != "$expected" ]; then
  echo "FAIL: exported names differ (- expected, + found):"
  diff <(echo "$expected") <(echo "$got") | grep '^[<>]' | sed 's/^</  -/; s/^>/  +/'
  fail=1
fi
if grep -q '@' <<<"$got"; then echo "FAIL: decorated names exported"; fail=1; fi

# The DLLs every Windows installation has (and the C runtime MinGW links).
system='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|comdlg32|comctl32|shell32|shlwapi|version|msvcrt|ntdll|bcrypt|crypt32|ws2_32|rpcrt4|uxtheme)\.dll$'
while read -r import; do
  lower=$(tr '[:upper:]' '[:lower:]' <<<"$import")
  grep -q -E "$system" <<<"$lower" && continue
  allowed=0
  for e in "${extra[@]}"; do [ "$lower" = "$(tr '[:upper:]' '[:lower:]' <<<"$e")" ] && allowed=1; done
  [ "$allowed" = 1 ] || { echo "FAIL: imports $import, which is not a system DLL"; fail=1; }
done < <(awk '/DLL Name:/ { print $NF }' <<<"$dump")

[ "$fail" = 0 ] && echo "PASS: $(basename "$dll") exports ${#want[@]} names as $want_name, imports system DLLs only"
exit "$fail"
