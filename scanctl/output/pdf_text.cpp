#include "pdf_text.h"

#include <cstdint>
#include <optional>

#include "text/codepage.h"

namespace folvane {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The input comes from the strict converter, so it is valid UTF-8.
std::u32string DecodeUtf8(std::string_view utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
      c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out.push_back(c);
    i += length;
  }
  return out;
}

// GBK text, character by character where the whole string does not convert.
std::u32string DecodeGbk(std::string_view gbk) {
  if (auto utf8 = bidder::GbkToUtf8(gbk)) return DecodeUtf8(*utf8);
  std::u32string out;
  for (std::size_t i = 0; i < gbk.size();) {
    const auto lead = static_cast<unsigned char>(gbk[i]);
    if (lead < 0x80) {
      out.push_back(lead);
      ++i;
      continue;
    }
    if (i + 1 < gbk.size()) {
      if (auto pair = bidder::GbkToUtf8(gbk.substr(i, 2))) {
        out += DecodeUtf8(*pair);
        i += 2;
        continue;
      }
    }
    if (auto single = bidder::GbkToUtf8(gbk.substr(i, 1))) {  // 0x80 is the euro sign in code page 936
      out += DecodeUtf8(*single);
    } else {
      out.push_back(kReplacement);
    }
    ++i;
  }
  return out;
}

void AppendHexUnit(std::string& out, std::uint16_t unit) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(unit >> shift) & 0xF]);
}

}  // namespace

std::string PdfTextStringFromGbk(std::string_view gbk) {
  std::string out = "<FEFF";
  for (char32_t c : DecodeGbk(gbk)) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c >= 0x10000) {
      c -= 0x10000;
      AppendHexUnit(out, static_cast<std::uint16_t>(0xD800 + (c >> 10)));
      AppendHexUnit(out, static_cast<std::uint16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      AppendHexUnit(out, static_cast<std::uint16_t>(c));
    }
  }
  out.push_back('>');
  return out;
}

}  // namespace folvane

namespace folvane {

std::string PdfTextStringFromUtf16(std::u16string_view utf16) {
  std::string out = "<FEFF";
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
      AppendHexUnit(out, unit);
      AppendHexUnit(out, utf16[++i]);
    } else {
      AppendHexUnit(out, high || low ? static_cast<std::uint16_t>(kReplacement) : unit);
    }
  }
  out.push_back('>');
  return out;
}

}  // namespace folvane
