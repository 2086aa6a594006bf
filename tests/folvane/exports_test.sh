#!/usr/bin/env bash
# The module's export and import tables: the export table names the module
# FOLVANE.OCX and holds exactly the four COM entry points, by their plain
# names (no stdcall decoration on x86); every import is a system DLL.
#   exports_test.sh OCX OBJDUMP
set -euo pipefail
ocx=$1
objdump=$2
fail=0
table=$("$objdump" -p "$ocx")

name=$(awk '/^Name /{print $NF; exit}' <<<"$table")
[ "$name" = FOLVANE.OCX ] || { echo "FAIL: export table names '$name'"; fail=1; }
[ "$(basename "$ocx")" = Folvane.OCX ] || { echo "FAIL: file is named $(basename "$ocx")"; fail=1; }

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | awk '/\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
[ "$exports" = "$expected" ] || { echo "FAIL: exports '$exports', expected '$expected'"; fail=1; }

system_dlls=" advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll "
while read -r dll; do
  lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
  case "$system_dlls" in
    *" $lower "*) ;;
    *) echo "FAIL: imports $dll"; fail=1 ;;
  esac
done < <(awk '/DLL Name:/ {print $3}' <<<"$table")

[ "$fail" = 0 ] && echo "PASS: exports and imports of $(basename "$ocx")"
exit "$fail"
