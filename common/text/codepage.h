#pragma once
// Strict conversions between UTF-8 and code page 936 (GBK), the ANSI code page
// of the bidders' systems. Text that the target cannot express, or input that
// is not valid in its own encoding, gives nullopt: never a best-fit look-alike,
// never a '?'.
#include <optional>
#include <string>
#include <string_view>

namespace bidder {

std::optional<std::string> Utf8ToGbk(std::string_view utf8);
std::optional<std::string> GbkToUtf8(std::string_view gbk);

}  // namespace bidder
