// What a document becomes: the PDF the scanning control's tool binds from the
// same pages, byte for byte; PNG pages; thumbnails that show the page.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "desk/document/document.h"
#include "desk/document/document_output.h"
#include "desk/document/thumbnail.h"
#include "desk/document/utf16.h"
#include "document_fixtures.h"
#include "output/pdf_assembly.h"
#include "output/pdf_messages.h"
#include "output/png_export.h"
#include "output/png_messages.h"
#include "scanctl/pdf_tools.h"
#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;
using bidder::test::ReadFile;
using bidder::test::TempDir;
using folvane::test::RunCommand;
using folvane::test::ShellQuote;
using test::FilesIn;

// Colour, grey and black-and-white pages, stored as a scan stores them.
std::vector<std::string> ThreePages(Document& document) {
  const test::DibFixture kinds[] = {
      test::Fixture(24, 120, 90, {}, 1),
      test::Fixture(8, 100, 140, test::GreyRamp(8), 2),
      test::Fixture(1, 200, 100, {{0, 0, 0}, {255, 255, 255}}, 3),
  };
  for (const auto& kind : kinds) EXPECT_TRUE(document.AddDibPage(test::MakeDib(kind).bytes));
  return document.PagePaths();
}

std::string ToolPdf(const std::vector<std::string>& pages, const std::string& output, const DocumentInfo& info) {
  std::string command = ShellQuote(FOLVANE_TOOL) + " pdf -o " + ShellQuote(output) + " --creator " +
                        ShellQuote(info.creator) + " --author " + ShellQuote(info.author) + " --title " +
                        ShellQuote(info.title) + " --subject " + ShellQuote(info.subject);
  for (const std::string& page : pages) command += " " + ShellQuote(page);
  const auto ran = RunCommand(command);
  EXPECT_EQ(ran.status, 0) << ran.output;
  return ReadFile(output);
}

void ExpectQpdfClean(const std::string& pdf) {
  const auto check = RunCommand("qpdf --check " + ShellQuote(pdf));
  EXPECT_EQ(check.status, 0) << check.output;
}

TEST(BindPdf, GivesTheToolsBytesForTheSamePagesAndInformation) {
  TempDir dir;
  Document document(dir.path() / "doc");
  const std::vector<std::string> pages = ThreePages(document);
  const DocumentInfo cases[] = {
      {"扫描控件", "投标人", "投标文件", "商务标"},
      {"", "", "", ""},
      {"Scanner (v2)", "a\\b", "<title>", "subject with ) and ("},
  };
  for (const DocumentInfo& info : cases) {
    const std::string output = dir / "desk.pdf";
    const OutputResult result = BindPdf(pages, output, info);
    ASSERT_EQ(result.outcome, OutputOutcome::kWritten) << info.title;
    EXPECT_EQ(ReadFile(output), ToolPdf(pages, dir / "tool.pdf", info)) << info.title;
    ExpectQpdfClean(output);
  }
  const folvane::test::PdfInfo read = folvane::test::ReadPdfInfo(dir / "desk.pdf");
  EXPECT_EQ(read.pages, 3);
  EXPECT_EQ(read.version, "1.4");
  EXPECT_EQ(read.title, "<title>");
  EXPECT_EQ(FilesIn(dir.path() / "doc").size(), 3u) << "binding keeps the pages";
}

// Beyond code page 936 the tool cannot go; the PDF is still the control's,
// as its engine writes Unicode information.
TEST(BindPdf, WritesAnyUnicodeAsTheControlsEngineDoes) {
  TempDir dir;
  Document document(dir.path() / "doc");
  const std::vector<std::string> pages = ThreePages(document);
  const DocumentInfo info{"스캐너", "Zoë 📄", "投标文件 €", "bad \xC3( byte"};
  ASSERT_EQ(BindPdf(pages, dir / "desk.pdf", info).outcome, OutputOutcome::kWritten);

  folvane::PdfDocumentInfo control;
  control.unicode = folvane::PdfUnicodeInfo{u"스캐너", u"Zoë 📄", u"投标文件 €", u"bad \uFFFD( byte"};
  std::ostringstream console;
  ASSERT_EQ(folvane::AssemblePdf(pages, dir / "control.pdf", control, console).outcome,
            folvane::PdfAssemblyOutcome::kWritten);
  EXPECT_EQ(ReadFile(dir / "desk.pdf"), ReadFile(dir / "control.pdf"));
  ExpectQpdfClean(dir / "desk.pdf");
  const folvane::test::PdfInfo read = folvane::test::ReadPdfInfo(dir / "desk.pdf");
  EXPECT_EQ(read.creator, "스캐너");
  EXPECT_EQ(read.author, "Zoë 📄");
}

TEST(Utf8ToUtf16, KeepsEveryCodePointAndReplacesWhatIsNotUtf8) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"", u""},
      {"abc", u"abc"},
      {"标书", u"标书"},
      {"\xF0\x9F\x93\x84", u"\U0001F4C4"},                    // beyond the BMP: a surrogate pair
      {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", u"\uFFFF\U0010FFFF"},  // the last of each range
      {"a\x80z", u"a\uFFFDz"},                                // a stray continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                          // an overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},                // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},      // past U+10FFFF
      {"\xE6\xA0", u"\uFFFD"},                                // cut off at the end
      {"\xE6\xA0z", u"\uFFFDz"},                              // cut off before a letter
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const auto& [utf8, utf16] : cases) EXPECT_EQ(Utf8ToUtf16(utf8), utf16) << utf8;
}

TEST(BindPdf, ReportsWhatWentWrongAndLeavesNoFile) {
  TempDir dir;
  Document document(dir.path() / "doc");
  const std::vector<std::string> pages = ThreePages(document);
  bidder::test::WriteFile(dir / "junk.tif", "not a page");
  struct Case {
    const char* what;
    std::vector<std::string> pages;
    std::string output;
    OutputOutcome outcome;
    const char* message;
  };
  const Case cases[] = {
      {"no pages", {}, dir / "out.pdf", OutputOutcome::kNoPages, folvane::msg::kPdfNoPage},
      {"no readable page",
       {dir / "junk.tif", dir / "gone.tif"},
       dir / "out.pdf",
       OutputOutcome::kNoPages,
       folvane::msg::kPdfNoPage},
      {"no such folder", pages, dir / "missing/out.pdf", OutputOutcome::kFailed, folvane::msg::kPdfCannotCreate},
  };
  for (const Case& c : cases) {
    const OutputResult result = BindPdf(c.pages, c.output, {});
    EXPECT_EQ(result.outcome, c.outcome) << c.what;
    EXPECT_EQ(result.controlMessage, c.message) << c.what;
    EXPECT_FALSE(fs::exists(c.output)) << c.what;
  }
  EXPECT_EQ(BindPdf({dir / "junk.tif", pages[0]}, dir / "out.pdf", {}).outcome, OutputOutcome::kWritten)
      << "unreadable pages are skipped, as the control skips them";
}

TEST(DocumentOutput, AFullDiskIsToldApart) {
  TempDir dir;
  Document document(dir.path() / "doc");
  // Noise: nearly a megabyte of page file, for an output volume of 64 KB.
  ASSERT_TRUE(document.AddDibPage(test::MakeDib(test::Fixture(24, 600, 500)).bytes));
  test::SmallFileSystem small(dir.path() / "small", 64 * 1024);
  if (!small.Ok()) GTEST_SKIP() << "no private tmpfs here (needs root)";

  const OutputResult pdf = BindPdf(document.PagePaths(), dir / "small/out.pdf", {});
  EXPECT_EQ(pdf.outcome, OutputOutcome::kDiskFull);
  EXPECT_EQ(pdf.controlMessage, folvane::msg::kPdfWriteFailed);
  const OutputResult png = PagePng(document.PagePaths()[0], dir / "small/out.png");
  EXPECT_EQ(png.outcome, OutputOutcome::kDiskFull);
  EXPECT_EQ(png.controlMessage, folvane::msg::kPngSaveFailed);
  EXPECT_TRUE(FilesIn(dir.path() / "small").empty());
}

TEST(PagePng, IsTheControlsExportOfThePage) {
  TempDir dir;
  Document document(dir.path() / "doc");
  const std::vector<std::string> pages = ThreePages(document);
  for (const std::string& page : pages) {
    ASSERT_EQ(PagePng(page, dir / "desk.png").outcome, OutputOutcome::kWritten);
    ASSERT_EQ(folvane::ConvertPageToPng(page, dir / "control.png"), folvane::PngPageOutcome::kWritten);
    EXPECT_EQ(ReadFile(dir / "desk.png"), ReadFile(dir / "control.png")) << page;
  }
  bidder::test::WriteFile(dir / "junk.tif", "not a page");
  const OutputResult unreadable = PagePng(dir / "junk.tif", dir / "junk.png");
  EXPECT_EQ(unreadable.outcome, OutputOutcome::kNoPages);
  EXPECT_EQ(unreadable.controlMessage, folvane::msg::kPngPageUnreadable);
  const OutputResult noFolder = PagePng(pages[0], dir / "missing/out.png");
  EXPECT_EQ(noFolder.outcome, OutputOutcome::kFailed);
  EXPECT_EQ(noFolder.controlMessage, folvane::msg::kPngSaveFailed);
  EXPECT_FALSE(fs::exists(dir / "junk.png"));
}

TEST(ThumbnailSize, FitsTheLongestSideAndNeverEnlarges) {
  const struct {
    PixelSize page;
    std::uint32_t maxSide;
    PixelSize thumb;
  } cases[] = {
      {{2480, 3508}, 256, {181, 256}},  // A4 at 300 dpi
      {{3508, 2480}, 256, {256, 181}},     {{100, 50}, 256, {100, 50}},  {{256, 256}, 256, {256, 256}},
      {{257, 1}, 256, {256, 1}},           {{1, 100000}, 256, {1, 256}},  // never a side of 0
      {{131072, 131072}, 256, {256, 256}}, {{300, 200}, 0, {1, 1}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ThumbnailSize(c.page, c.maxSide), c.thumb) << c.page.width << "x" << c.page.height << " " << c.maxSide;
}

TEST(ThumbnailPng, AnA4GreyPageBecomesASmallGreyPictureOfTheSameTone) {
  TempDir dir;
  Document document(dir.path() / "doc");
  const auto page = test::MakeDib(test::Fixture(8, 2480, 3508, test::GreyRamp(8)));
  const PageInfo info = *document.AddDibPage(page.bytes);
  const std::optional<std::vector<std::uint8_t>> png = ThumbnailPng(*document.PagePath(info.id));
  ASSERT_TRUE(png);
  const test::DecodedPng thumb = test::DecodePng(*png);
  EXPECT_EQ(thumb.width, 181u);
  EXPECT_EQ(thumb.height, 256u);
  EXPECT_EQ(thumb.channels, 1);
  double sum = 0;
  for (const auto& p : page.pixels) sum += p.r;
  EXPECT_NEAR(thumb.Mean(0), sum / static_cast<double>(page.pixels.size()), 1.0);
  EXPECT_LT(png->size(), 64u * 1024);
}

TEST(ThumbnailPng, EachPixelIsTheAverageOfItsPartOfThePage) {
  TempDir dir;
  Document document(dir.path() / "doc");
  // Red grows to the right, green downwards: a mirrored, flipped or
  // transposed thumbnail shows at once.
  const std::uint32_t w = 600, h = 400;
  const auto colour = [&](std::uint32_t x, std::uint32_t y) {
    return folvane::test::Rgb{static_cast<std::uint8_t>(x * 255 / (w - 1)),
                              static_cast<std::uint8_t>(y * 255 / (h - 1)), 77};
  };
  const PageInfo info = *document.AddDibPage(test::PaintedDib(w, h, colour));
  const test::DecodedPng thumb = test::DecodePng(*ThumbnailPng(*document.PagePath(info.id)));
  ASSERT_EQ(thumb.channels, 3);
  ASSERT_EQ(thumb.width, 256u);
  ASSERT_EQ(thumb.height, 171u);
  for (std::uint32_t ty = 0; ty < thumb.height; ty += 17) {
    for (std::uint32_t tx = 0; tx < thumb.width; tx += 15) {
      const std::uint8_t* p = &thumb.pixels[(std::size_t{ty} * thumb.width + tx) * 3];
      const double x = (tx + 0.5) * w / thumb.width - 0.5, y = (ty + 0.5) * h / thumb.height - 0.5;
      EXPECT_NEAR(p[0], x * 255 / (w - 1), 1.5) << tx << "," << ty;
      EXPECT_NEAR(p[1], y * 255 / (h - 1), 1.5) << tx << "," << ty;
      EXPECT_EQ(p[2], 77);
    }
  }
}

// A scan's thumbnail is made from the bitmap as it arrives; it must be the
// very picture the stored page gives.
TEST(ThumbnailPng, OfTheScannedBitmapIsThatOfItsPageFile) {
  TempDir dir;
  Document document(dir.path() / "doc");
  const test::DibFixture fixtures[] = {
      test::Fixture(1, 1000, 700, {{0, 0, 0}, {255, 255, 255}}),
      test::Fixture(1, 333, 517, {{255, 255, 255}, {0, 0, 0}}),
      test::Fixture(8, 2480, 3508, test::GreyRamp(8)),
      test::Fixture(4, 300, 200, folvane::test::RandomPalette(16, 5)),
      test::Fixture(24, 1275, 1650),
  };
  for (const test::DibFixture& fixture : fixtures) {
    const auto page = test::MakeDib(fixture);
    const PageInfo info = *document.AddDibPage(page.bytes);
    const auto fromFile = ThumbnailPng(*document.PagePath(info.id));
    const auto fromBitmap = ThumbnailPngOfDib(page.bytes);
    ASSERT_TRUE(fromFile && fromBitmap) << info.width << "x" << info.height;
    EXPECT_TRUE(*fromFile == *fromBitmap) << info.width << "x" << info.height << " " << fixture.bitsPerPixel;
  }
  EXPECT_FALSE(ThumbnailPngOfDib(std::vector<std::uint8_t>(10, 0)));
}

TEST(ThumbnailPng, ASmallPageKeepsItsPixels) {
  TempDir dir;
  Document document(dir.path() / "doc");
  struct Case {
    const char* what;
    test::DibFixture dib;
    int channels;
  };
  const Case cases[] = {
      {"black and white", test::Fixture(1, 100, 50, {{0, 0, 0}, {255, 255, 255}}), 1},
      {"white on black", test::Fixture(1, 100, 50, {{255, 255, 255}, {0, 0, 0}}), 1},
      {"4-bit grey", test::Fixture(4, 100, 50, test::GreyRamp(4)), 1},
      {"palette", test::Fixture(4, 100, 50, folvane::test::RandomPalette(16, 5)), 3},
      {"colour", test::Fixture(24, 100, 50), 3},
  };
  for (const Case& c : cases) {
    const auto page = test::MakeDib(c.dib);
    const PageInfo info = *document.AddDibPage(page.bytes);
    const test::DecodedPng thumb = test::DecodePng(*ThumbnailPng(*document.PagePath(info.id)));
    ASSERT_EQ(thumb.width, 100u) << c.what;
    ASSERT_EQ(thumb.height, 50u) << c.what;
    ASSERT_EQ(thumb.channels, c.channels) << c.what;
    for (std::size_t i = 0; i < page.pixels.size(); ++i) {
      const folvane::test::Rgb want = page.pixels[i];
      const std::uint8_t* got = &thumb.pixels[i * static_cast<std::size_t>(c.channels)];
      const folvane::test::Rgb have =
          c.channels == 1 ? folvane::test::Rgb{got[0], got[0], got[0]} : folvane::test::Rgb{got[0], got[1], got[2]};
      ASSERT_EQ(have, want) << c.what << " pixel " << i;
    }
  }
}

TEST(ThumbnailPng, NothingForAFileThatIsNoPage) {
  TempDir dir;
  Document document(dir.path() / "doc");
  const PageInfo info = *document.AddDibPage(test::MakeDib(test::Fixture(24, 300, 300)).bytes);
  const std::string page = ReadFile(*document.PagePath(info.id));
  bidder::test::WriteFile(dir / "cut.tif", std::string_view(page).substr(0, page.size() / 2));
  bidder::test::WriteFile(dir / "junk.tif", "II*\0junk");
  bidder::test::WriteFile(dir / "empty.tif", "");
  for (const char* name : {"cut.tif", "junk.tif", "empty.tif", "missing.tif"})
    EXPECT_EQ(ThumbnailPng(dir / name), std::nullopt) << name;
}

TEST(PngDataUrl, IsBase64WithPadding) {
  const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
      {{}, ""},
      {{'f'}, "Zg=="},
      {{'f', 'o'}, "Zm8="},
      {{'f', 'o', 'o'}, "Zm9v"},
      {{'f', 'o', 'o', 'b'}, "Zm9vYg=="},
      {{0x00, 0xFF, 0xFE, 0x3E, 0x3F}, "AP/+Pj8="},
  };
  for (const auto& [bytes, encoded] : cases) EXPECT_EQ(PngDataUrl(bytes), "data:image/png;base64," + encoded);
}

}  // namespace
}  // namespace bidder::desk
