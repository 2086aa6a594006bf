#pragma once
// The few text operations the access rules need. Header values and origins
// are ASCII: case folding and blank trimming here never look at the locale,
// so a Turkish or any other locale cannot change what matches.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bidder::desk {

inline bool IsAsciiBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsAsciiBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiBlank(text.back())) text.remove_suffix(1);
  return text;
}

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

inline bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Plain decimal digits, nothing else (no sign, no blanks); empty on overflow.
inline std::optional<std::uint32_t> ParseDecimal(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    if (!IsAsciiDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

}  // namespace bidder::desk
