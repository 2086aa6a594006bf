# Sourced by the tool checks (after setting $root, the source tree): running a
# tool that may be a Windows build, and a work directory both kinds of tool
# name the same way.

run_tool() {  # run_tool TOOL ARGS... (relative paths, from the work directory); a .exe runs under the project's Wine
  local tool=$1; shift
  case $tool in
    *.exe) "$root/scripts/wine-run.sh" "$tool" "$@" ;;
    *) "$tool" "$@" ;;
  esac
}

# enter_work_dir NAME: makes a fresh work directory, enters it, and removes it
# when the script exits. Inside the Wine prefix's C: drive where there is one,
# so that relative names mean the same file to Linux and Windows programs.
enter_work_dir() {
  . "$root/scripts/lib/paths.sh"
  local base=$BIDDER_WINEPREFIX/drive_c
  [ -d "$base" ] || base=${TMPDIR:-/tmp}
  work=$(mktemp -d "$base/$1.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  cd "$work"
}
