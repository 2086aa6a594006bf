#include "prelude.h"

#include <windows.h>

#include <string_view>

#include "text/codepage_win32.h"

namespace pagehost {

std::wstring Prelude() {
  // Resource 1 of type RCDATA (CMakeLists.txt); resources need no freeing.
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!found) return {};
  const HGLOBAL loaded = LoadResource(nullptr, found);
  const auto* bytes = static_cast<const char*>(loaded ? LockResource(loaded) : nullptr);
  if (!bytes) return {};
  return bidder::CodePageToWide(std::string_view(bytes, SizeofResource(nullptr, found)), CP_UTF8).value_or(L"");
}

}  // namespace pagehost
