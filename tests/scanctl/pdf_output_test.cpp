// The pieces of the PDF writer that have rules of their own: numbers, text
// strings and page sizes.
#include <gtest/gtest.h>

#include "output/page_geometry.h"
#include "output/pdf_text.h"
#include "output/pdf_writer.h"

namespace folvane {
namespace {

TEST(PdfReal, FixedPointWithoutTrailingZeros) {
  const struct {
    double value;
    const char* text;
  } cases[] = {{595.2, "595.2"}, {612, "612"}, {841.92, "841.92"}, {0.00004, "0"},
               {1.23456, "1.2346"}, {14400, "14400"}, {-0.00001, "0"}};
  for (const auto& c : cases) EXPECT_EQ(PdfReal(c.value), c.text) << c.value;
}

TEST(PdfTextString, GbkBecomesUtf16BigEndianWithByteOrderMark) {
  const struct {
    const char* gbk;
    const char* pdf;
  } cases[] = {
      {"", "<FEFF>"},
      {"A(b)\\", "<FEFF0041002800620029005C>"},              // nothing to escape in a hex string
      {"\xd6\xd0\xce\xc4", "<FEFF4E2D6587>"},                // 中文
      {"\xb5\xda\x31\xbe\xed", "<FEFF7B2C00315377>"},        // 第1卷
      {"x\xff", "<FEFF0078FFFD>"},                           // a byte that is no GBK character
      {"\xd6", "<FEFFFFFD>"},                                // a lead byte cut off
  };
  for (const auto& c : cases) EXPECT_EQ(PdfTextStringFromGbk(c.gbk), c.pdf) << c.gbk;
}

// The control's strings come as UTF-16: written unit for unit, pairs kept,
// characters no code page holds included.
TEST(PdfTextString, Utf16IsWrittenAsGivenWithLoneSurrogatesReplaced) {
  const struct {
    std::u16string text;
    const char* pdf;
  } cases[] = {
      {u"", "<FEFF>"},
      {u"A(b)\\", "<FEFF0041002800620029005C>"},
      {u"\u62db\u6807\u4db5", "<FEFF62DB68074DB5>"},             // 招标 and U+4DB5, outside GBK
      {u"\U00020000\U0002A6D6", "<FEFFD840DC00D869DED6>"},        // CJK Extension B, as surrogate pairs
      {std::u16string(u"a\0b", 3), "<FEFF006100000062>"},          // every unit, an embedded NUL too
      {std::u16string(1, char16_t(0xD840)) + u"x", "<FEFFFFFD0078>"},  // a high surrogate alone
      {std::u16string(1, char16_t(0xDC00)), "<FEFFFFFD>"},             // a low one alone
      {u"x" + std::u16string(1, char16_t(0xD840)), "<FEFF0078FFFD>"},  // cut off at the end
  };
  for (const auto& c : cases) EXPECT_EQ(PdfTextStringFromUtf16(c.text), c.pdf) << c.pdf;
}

TEST(PageSizeForImage, PixelsAtTheirResolutionWithinReaderLimits) {
  const struct {
    const char* what;
    std::uint32_t width, height;
    double xDpi, yDpi;
    double expectWidth, expectHeight;
  } cases[] = {
      {"A4 at 300 dpi", 2480, 3508, 300, 300, 595.2, 841.92},
      {"different x and y", 1700, 1100, 200, 100, 612, 792},
      {"no resolution: one pixel per unit", 640, 480, 0, 0, 640, 480},
      {"one side given", 600, 300, 0, 150, 288, 144},
      {"negative and NaN", 100, 100, -300, std::numeric_limits<double>::quiet_NaN(), 100, 100},
      {"absurdly high counts as missing", 100, 50, 1e9, 1e9, 100, 50},
      {"too large: scaled to fit, shape kept", 20000, 100, 1, 1, 14400, 72},
      {"no resolution and huge", 30000, 60000, 0, 0, 7200, 14400},
  };
  for (const auto& c : cases) {
    const PageSize size = PageSizeForImage(c.width, c.height, c.xDpi, c.yDpi);
    EXPECT_NEAR(size.width, c.expectWidth, 1e-9) << c.what;
    EXPECT_NEAR(size.height, c.expectHeight, 1e-9) << c.what;
  }
}

}  // namespace
}  // namespace folvane
