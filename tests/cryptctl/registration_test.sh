#!/usr/bin/env bash
# Self-registration of Lockvale.dll through the system's regsvr32, checked in
# the registry afterwards.
#   registration_test.sh register DLL     register machine-wide, check every entry
#   registration_test.sh unregister DLL   unregister, check what goes and what stays
#   registration_test.sh per-user DLL     DllInstall "user"/"USER": the same entries
#                                         under HKCU\Software\Classes, and removal
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/wine-env.sh"
. "$root/scripts/lib/wine-arch.sh"

mode=$1
dll=$(winepath -w "$2")
# The registry as the DLL's own architecture sees it (WoW64: x86 programs see
# the 32-bit view).
arch=$(pe_arch "$2")
view=$(wine_reg_view "$arch")
clsid='{B17DB70B-6D3A-4C72-954E-0FA4B6ECAAF9}'
appid='{2745315A-825E-4CBF-86FE-C787C480DE6A}'
libid='{A8B6B100-ADA1-4AEB-A82B-E28D0147CD0B}'
fail=0

. "$root/tests/support/registry_checks.sh"

# The control's entries under one classes root (HKCR, or the user's classes).
check_entries() {
  local c=$1
  local k="$c\\CLSID\\$clsid"
  snapshot=$(dump "$c\\AppID\\$appid" "$c\\AppID\\Lockvale.DLL" "$c\\Lockvale.EnOrDecrypt.1" \
    "$c\\Lockvale.EnOrDecrypt" "$k")
  expect_value "$c\\AppID\\$appid" "" Lockvale
  expect_value "$c\\AppID\\Lockvale.DLL" AppID "$appid"
  expect_value "$c\\Lockvale.EnOrDecrypt.1" "" "EnOrDecrypt Class"
  expect_value "$c\\Lockvale.EnOrDecrypt.1\\CLSID" "" "$clsid"
  expect_value "$c\\Lockvale.EnOrDecrypt" "" "EnOrDecrypt Class"
  expect_value "$c\\Lockvale.EnOrDecrypt\\CLSID" "" "$clsid"
  expect_value "$c\\Lockvale.EnOrDecrypt\\CurVer" "" Lockvale.EnOrDecrypt.1
  expect_value "$k" "" "EnOrDecrypt Class"
  expect_value "$k" AppID "$appid"
  expect_value "$k\\ProgID" "" Lockvale.EnOrDecrypt.1
  expect_value "$k\\VersionIndependentProgID" "" Lockvale.EnOrDecrypt
  expect_key "$k\\Programmable"
  expect_value "$k\\InprocServer32" "" "$dll"
  expect_value "$k\\InprocServer32" ThreadingModel Apartment
  expect_key "$k\\Control"
  expect_value "$k\\ToolboxBitmap32" "" "$dll, 102"
  expect_value "$k\\MiscStatus" "" 0
  expect_value "$k\\MiscStatus\\1" "" 132497
  expect_value "$k\\TypeLib" "" "$libid"
  expect_value "$k\\Version" "" 1.0
  # Not marked safe for scripting or initialisation.
  if grep -q -F "Implemented Categories" <<<"$snapshot"; then echo "FAIL: categories registered"; fail=1; fi
}

# What unregistration removes, and the roots it keeps.
check_removed() {
  local c=$1
  expect_no_key "$c\\CLSID\\$clsid"
  expect_no_key "$c\\Lockvale.EnOrDecrypt.1"
  expect_no_key "$c\\Lockvale.EnOrDecrypt"
  expect_no_key "$c\\AppID\\$appid"
  expect_no_key "$c\\AppID\\Lockvale.DLL"
  has_key "$c\\AppID" || { echo "FAIL: $c\\AppID removed"; fail=1; }
  has_key "$c\\CLSID" || { echo "FAIL: $c\\CLSID removed"; fail=1; }
}

regsvr() {
  local code=0
  wine regsvr32 /s "$@" || code=$?
  [ "$code" = 0 ] || { echo "FAIL: regsvr32 $* exited $code"; fail=1; }
}

case $mode in
  register)
    regsvr "$dll"
    check_entries HKCR
    # The type library is registered from the DLL's own path.
    snapshot=$(dump "HKCR\\TypeLib\\$libid")
    expect_value "HKCR\\TypeLib\\$libid\\1.0\\0\\$(wine_typelib_platform "$arch")" "" "$dll"
    # Registering again over an existing registration gives the same entries.
    regsvr "$dll"
    check_entries HKCR
    ;;
  unregister)
    regsvr /u "$dll"
    check_removed HKCR
    expect_no_key "HKCR\\TypeLib\\$libid\\1.0"
    # A second unregistration finds nothing to remove and still succeeds.
    regsvr /u "$dll"
    ;;
  per-user)
    user='HKCU\Software\Classes'
    # From a clean state: no machine-wide registration left by an earlier run.
    wine regsvr32 /s /u "$dll" || true
    for word in user USER; do
      regsvr /i:$word /n "$dll"
      check_entries "$user"
      # Nothing machine-wide: the class is only in the user's classes.
      expect_no_key "HKLM\\Software\\Classes\\CLSID\\$clsid"
      regsvr /u /i:$word /n "$dll"
      check_removed "$user"
    done
    # Any other command line registers machine-wide.
    regsvr /i:other /n "$dll"
    expect_no_key "$user\\CLSID\\$clsid"
    has_key "HKLM\\Software\\Classes\\CLSID\\$clsid" || { echo "FAIL: not registered machine-wide"; fail=1; }
    regsvr /u /i:other /n "$dll"
    expect_no_key "HKLM\\Software\\Classes\\CLSID\\$clsid"
    ;;
  *)
    echo "usage: $0 register|unregister|per-user DLL" >&2
    exit 2
    ;;
esac

[ "$fail" = 0 ] && echo "PASS: registration $mode"
exit "$fail"
