#pragma once
// Text strings of the document information dictionary. The control receives
// them as ANSI text (code page 936); PDF readers only agree on two encodings
// for such strings, and only UTF-16BE with a byte order mark carries Chinese,
// so every string is written that way, as a hexadecimal string (which needs
// no escaping of parentheses or backslashes).
#include <string>
#include <string_view>

namespace folvane {

// "<FEFF....>" for the given GBK text. Bytes that are not valid GBK become
// U+FFFD each, so a damaged string still shows its readable part.
std::string PdfTextStringFromGbk(std::string_view gbk);
// The same for UTF-16 text, unit for unit; a lone surrogate, which no reader
// could show, becomes U+FFFD.
std::string PdfTextStringFromUtf16(std::u16string_view utf16);

}  // namespace folvane
