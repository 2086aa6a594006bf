#include "text/codepage_win32.h"

#include <climits>

#include "text/codepage.h"

namespace bidder {

std::optional<std::string> WideToCodePage(std::wstring_view wide, UINT codePage) {
  if (wide.empty()) return std::string();
  if (wide.size() > INT_MAX) return std::nullopt;
  const int inLen = static_cast<int>(wide.size());
  // Where the ANSI code page is UTF-8, CP_ACP must be treated as UTF-8 below.
  if (codePage == CP_ACP) codePage = GetACP();
  // UTF-8 and UTF-7 reject the best-fit and default-character arguments.
  const bool utf = codePage == CP_UTF8 || codePage == CP_UTF7;
  const DWORD flags = utf ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultArg = utf ? nullptr : &usedDefault;
  int n = WideCharToMultiByte(codePage, flags, wide.data(), inLen, nullptr, 0, nullptr, usedDefaultArg);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  n = WideCharToMultiByte(codePage, flags, wide.data(), inLen, out.data(), n, nullptr, usedDefaultArg);
  if (n <= 0 || usedDefault) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

std::optional<std::wstring> CodePageToWide(std::string_view narrow, UINT codePage) {
  if (narrow.empty()) return std::wstring();
  if (narrow.size() > INT_MAX) return std::nullopt;
  const int inLen = static_cast<int>(narrow.size());
  int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(), inLen, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring out(static_cast<size_t>(n), L'\0');
  n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(), inLen, out.data(), n);
  if (n <= 0) return std::nullopt;
  out.resize(static_cast<size_t>(n));
  return out;
}

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
  auto wide = CodePageToWide(utf8, CP_UTF8);
  return wide ? WideToCodePage(*wide, kGbkCodePage) : std::nullopt;
}

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
  auto wide = CodePageToWide(gbk, kGbkCodePage);
  return wide ? WideToCodePage(*wide, CP_UTF8) : std::nullopt;
}

}  // namespace bidder
