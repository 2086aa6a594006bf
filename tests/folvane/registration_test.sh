#!/usr/bin/env bash
# Self-registration of Folvane.OCX through the system's regsvr32, checked in
# the registry afterwards. The architecture comes from the module: the x64
# module is checked in the 64-bit registry view, the x86 one in the 32-bit view.
#   registration_test.sh register OCX              register (twice), check every entry
#   registration_test.sh unregister OCX            unregister (twice), check what goes and what stays
#   registration_test.sh other-typelib OCX CALLER  a module whose type library has another GUID:
#                                                  0x80040200 and no class registered
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/wine-env.sh"

mode=$1
ocx_unix=$2
ocx=$(winepath -w "$ocx_unix")
control='{1A120455-117F-465E-9A30-36E519235911}'
page='{0A56645C-3C91-4211-9BCB-E8ABB09C76F8}'
libid='{D2762664-798E-44D9-B7BF-AE406F1E3519}'
scriptable='{7DD95801-9882-11CF-9FA9-00AA006C42C4}'
initializable='{7DD95802-9882-11CF-9FA9-00AA006C42C4}'
fail=0

. "$root/scripts/lib/wine-arch.sh"
arch=$(pe_arch "$ocx_unix")
view=$(wine_reg_view "$arch")
win=$(wine_typelib_platform "$arch")
. "$root/tests/support/registry_checks.sh"

# Registered from a folder whose name is longer than 8.3 allows, so that the
# short path the entries must hold differs from the full one wherever the
# build tree is.
if [ "$mode" != other-typelib ]; then
  copy_dir=$WINEPREFIX/drive_c/folvane-registration-$win
  mkdir -p "$copy_dir"
  cp -f "$ocx_unix" "$copy_dir/Folvane.OCX"
  ocx_unix=$copy_dir/Folvane.OCX
  ocx=$(winepath -w "$ocx_unix")
fi

regsvr() {
  local code=0
  wine regsvr32 /s "$@" || code=$?
  [ "$code" = 0 ] || { echo "FAIL: regsvr32 $* exited $code"; fail=1; }
}

check_entries() {
  local short k="HKCR\\CLSID\\$control" p="HKCR\\CLSID\\$page"
  # The module is named by its short path, as the system gives it.
  # (Wine's cmd mangles a quoted name here: the copy's path holds no blank.)
  short=$(wine cmd /c "for %I in ($ocx) do @echo %~sI" | tr -d '\r')
  [ -n "$short" ] && [ "$short" != "$ocx" ] || { echo "FAIL: no short path for $ocx ('$short')"; fail=1; }
  snapshot=$(dump "$k" "$p" "HKCR\\VORLA.FolvaneCtrl.1")
  expect_value "$k" "" "Folvane Control"
  expect_value "$k\\ProgID" "" VORLA.FolvaneCtrl.1
  expect_value "$k\\InprocServer32" "" "$short"
  expect_value "$k\\InprocServer32" ThreadingModel Apartment
  expect_value "$k\\ToolboxBitmap32" "" "$short, 1"
  expect_value "$k\\MiscStatus" "" 0
  expect_value "$k\\MiscStatus\\1" "" 132241
  expect_key "$k\\Control"
  expect_value "$k\\TypeLib" "" "$libid"
  expect_value "$k\\Version" "" 1.0
  expect_key "$k\\Implemented Categories\\$scriptable"
  expect_key "$k\\Implemented Categories\\$initializable"
  if grep -q -F "$k\\Insertable" <<<"$snapshot"; then echo "FAIL: Insertable registered"; fail=1; fi
  expect_value "HKCR\\VORLA.FolvaneCtrl.1" "" "Folvane Control"
  expect_value "HKCR\\VORLA.FolvaneCtrl.1\\CLSID" "" "$control"
  # The page: its name and server, nothing else.
  expect_value "$p" "" "Folvane Property Page"
  expect_value "$p\\InprocServer32" "" "$short"
  expect_no_value "$p\\InprocServer32" ThreadingModel
  [ "$(grep -c -F -- "$p" <<<"$snapshot")" = 4 ] || { echo "FAIL: more under the page's key than name and server"; fail=1; }
  expect_no_key "HKCR\\FOLVANE.FolvanePropPage.1"
  # The type library, from the module's own path.
  snapshot=$(dump "HKCR\\TypeLib\\$libid")
  expect_value "HKCR\\TypeLib\\$libid\\1.0\\409\\$win" "" "$ocx"
  check_categories
}

# The two category definitions with their descriptions for locale 409.
check_categories() {
  snapshot=$(dump "HKCR\\Component Categories\\$scriptable" "HKCR\\Component Categories\\$initializable")
  expect_value "HKCR\\Component Categories\\$scriptable" 409 "Controls that are safely scriptable"
  expect_value "HKCR\\Component Categories\\$initializable" 409 "Controls safely initializable from persistent data"
}

case $mode in
  register)
    regsvr "$ocx"
    check_entries
    regsvr "$ocx"
    check_entries
    ;;
  unregister)
    # A 16-bit server registered under the same CLSID keeps the class's key:
    # only the 32-bit server and the toolbox bitmap go.
    reg add "HKCR\\CLSID\\$control\\InprocServer" /ve /d folvane16.ocx /f >/dev/null
    regsvr /u "$ocx"
    snapshot=$(dump "HKCR\\CLSID\\$control")
    expect_value "HKCR\\CLSID\\$control\\InprocServer" "" folvane16.ocx
    expect_value "HKCR\\CLSID\\$control\\MiscStatus\\1" "" 132241
    expect_no_key "HKCR\\CLSID\\$control\\InprocServer32"
    expect_no_key "HKCR\\CLSID\\$control\\ToolboxBitmap32"
    reg delete "HKCR\\CLSID\\$control\\InprocServer" /f >/dev/null
    # Without it the whole class goes (the type library is already unregistered).
    regsvr /u "$ocx"
    expect_no_key "HKCR\\CLSID\\$control"
    expect_no_key "HKCR\\CLSID\\$page"
    expect_no_key "HKCR\\VORLA.FolvaneCtrl.1"
    expect_no_key "HKCR\\TypeLib\\$libid\\1.0"
    check_categories
    regsvr /u "$ocx"
    ;;
  other-typelib)
    caller=$3
    wine regsvr32 /s /u "$ocx" >/dev/null 2>&1 || true
    result=$(wine "$caller" "$ocx" DllRegisterServer | tr -d '\r')
    [ "$result" = 0x80040200 ] || { echo "FAIL: DllRegisterServer gave $result, expected 0x80040200"; fail=1; }
    expect_no_key "HKCR\\CLSID\\$control"
    expect_no_key "HKCR\\CLSID\\$page"
    expect_no_key "HKCR\\VORLA.FolvaneCtrl.1"
    code=0
    wine regsvr32 /s "$ocx" || code=$?
    echo "regsvr32 on that module exits $code"
    [ "$code" != 0 ] || { echo "FAIL: regsvr32 reported success"; fail=1; }
    ;;
  *)
    echo "usage: $0 register|unregister OCX | other-typelib OCX CALLER" >&2
    exit 2
    ;;
esac

[ "$fail" = 0 ] && echo "PASS: registration $mode"
exit "$fail"
