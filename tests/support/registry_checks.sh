# Sourced by the registration tests: the registry as one architecture sees it
# (set `view` to /reg:64 or /reg:32 first, see scripts/lib/wine-arch.sh), read
# back through `wine reg`, and checks that count failures in `fail`.
#   snapshot=$(dump KEY...)        keys as lines "KEY" and "KEY|NAME|DATA" (NAME
#                                  empty for the default value), roots spelled
#                                  short (HKCR, HKCU, HKLM)
#   expect_value KEY NAME EXPECTED / expect_key KEY / expect_no_value KEY NAME
#                                  against $snapshot
#   has_key KEY / expect_no_key KEY    against the registry itself
fail=${fail:-0}
snapshot=
reg() { wine reg "$@" "$view"; }
dump() {
  local key
  for key in "$@"; do
    reg query "$key" /s 2>/dev/null | tr -d '\r' | LC_ALL=C awk '
      /^HKEY_/ { key = $0; sub(/^HKEY_CLASSES_ROOT/, "HKCR", key); sub(/^HKEY_CURRENT_USER/, "HKCU", key);
                 sub(/^HKEY_LOCAL_MACHINE/, "HKLM", key); print key; next }
      /^    / { line = substr($0, 5); i = index(line, "    REG_"); if (i == 0) next;
                name = substr(line, 1, i - 1); rest = substr(line, i + 4); j = index(rest, "    ");
                data = j ? substr(rest, j + 4) : ""; if (name ~ /^\(/) name = "";
                print key "|" name "|" data }' || true
  done
}
expect_value() {
  grep -q -F -x -- "$1|$2|$3" <<<"$snapshot" && return 0
  local got
  got=$(grep -F -- "$1|$2|" <<<"$snapshot" | head -n 1)
  echo "FAIL: $1 ${2:-(default)}: expected '$3', found '${got:-nothing}'"
  fail=1
}
expect_key() { grep -q -F -x -- "$1" <<<"$snapshot" || { echo "FAIL: missing key $1"; fail=1; }; }
expect_no_value() { ! grep -q -F -- "$1|$2|" <<<"$snapshot" || { echo "FAIL: $1 has a value '$2'"; fail=1; }; }
has_key() { reg query "$1" >/dev/null 2>&1; }
expect_no_key() { ! has_key "$1" || { echo "FAIL: key $1 still there"; fail=1; }; }
