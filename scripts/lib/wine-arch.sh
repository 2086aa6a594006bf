# Sourced by the Wine-run tests and the demo: what one architecture means
# inside a WoW64 prefix, where x64 and x86 programs run side by side and see
# different registry views and system directories.
#   pe_arch FILE          x64 or x86, from the PE machine field of FILE
#   wine_system_dir ARCH  C:\windows\system32 (x64) or C:\windows\syswow64 (x86)
#   wine_system_program ARCH NAME   runs C:\windows\...\NAME of that architecture:
#                         wine_system_program x64 cscript.exe //nologo t.js
#   wine_reg_view ARCH    /reg:64 or /reg:32, for `wine reg`
#   wine_twain_dir ARCH   twain_64 or twain_32, where Wine's manager looks for sources
#   wine_typelib_platform ARCH   win64 or win32, the type library key's platform
pe_arch() {
  local pe machine
  pe=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  machine=$(od -An -tx2 -j $((pe + 4)) -N 2 "$1" | tr -d ' ')
  case "$machine" in
    8664) echo x64 ;;
    014c) echo x86 ;;
    *) echo "$1: not a Windows program for x64 or x86 (machine $machine)" >&2; return 1 ;;
  esac
}
_wine_arch_pick() { case "$1" in x64) echo "$2" ;; x86) echo "$3" ;; *) echo "unknown architecture '$1'" >&2; return 1 ;; esac; }
wine_system_dir() { _wine_arch_pick "$1" 'C:\windows\system32' 'C:\windows\syswow64'; }
wine_reg_view() { _wine_arch_pick "$1" /reg:64 /reg:32; }
wine_twain_dir() { _wine_arch_pick "$1" twain_64 twain_32; }
wine_typelib_platform() { _wine_arch_pick "$1" win64 win32; }
# With wine32 installed, `wine` is the 32-bit loader, and a 32-bit process
# sees C:\windows\system32 redirected to syswow64 (a Unix path into the prefix
# too): `wine 'C:\windows\system32\cscript.exe'` would start the 32-bit
# script host. The 64-bit loader opens the real system32.
wine_system_program() {
  local arch=$1 name=$2 loader=wine
  shift 2
  [ "$arch" = x64 ] && [ -x /usr/lib/wine/wine64 ] && loader=/usr/lib/wine/wine64
  "$loader" "$(wine_system_dir "$arch")\\$name" "$@"
}
