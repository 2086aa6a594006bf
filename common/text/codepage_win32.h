#pragma once
// Windows-only conversions between UTF-16 and a code page, strict in both
// directions: no best-fit characters, no default character.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace bidder {

inline constexpr UINT kGbkCodePage = 936;

std::optional<std::string> WideToCodePage(std::wstring_view wide, UINT codePage);
std::optional<std::wstring> CodePageToWide(std::string_view narrow, UINT codePage);

}  // namespace bidder
