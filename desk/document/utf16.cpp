#include "desk/document/utf16.h"

#include <cstdint>

namespace bidder::desk {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// The length of the sequence `lead` starts and the smallest and largest
// second byte it allows (which excludes overlong forms, surrogates and
// values past U+10FFFF); 0 for a byte that starts nothing.
struct Lead {
  int length;
  std::uint8_t secondMin, secondMax;
};

Lead LeadOf(std::uint8_t b) {
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

void Append(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
    return;
  }
  c -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<std::uint8_t>(utf8[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    const Lead lead = LeadOf(b);
    char32_t c = lead.length == 2 ? b & 0x1F : lead.length == 3 ? b & 0x0F : b & 0x07;
    std::size_t next = i + 1;
    int taken = 1;
    for (; taken < lead.length && next < utf8.size(); ++taken, ++next) {
      const auto t = static_cast<std::uint8_t>(utf8[next]);
      const bool fits = taken == 1 ? t >= lead.secondMin && t <= lead.secondMax : t >= 0x80 && t <= 0xBF;
      if (!fits) break;
      c = (c << 6) | (t & 0x3F);
    }
    if (lead.length != 0 && taken == lead.length) {
      Append(out, c);
    } else {
      // A bad or cut-off sequence: one replacement for what was taken of it.
      out.push_back(kReplacement);
    }
    i = next;
  }
  return out;
}

}  // namespace bidder::desk
