#pragma once
// UTF-8 text from a page (through JSON) as UTF-16 for the PDF's document
// information, which is written as UTF-16 whatever script the text is in.
#include <string>
#include <string_view>

namespace bidder::desk {

// Every code point as UTF-16 (surrogate pairs beyond U+FFFF). Bytes that are
// not UTF-8 (stray continuation bytes, overlong forms, encoded surrogates,
// values beyond U+10FFFF, cut-off sequences) become one U+FFFD per maximal
// bad run, so damaged text keeps its readable part and never stops the PDF.
std::u16string Utf8ToUtf16(std::string_view utf8);

}  // namespace bidder::desk
