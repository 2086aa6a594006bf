// Binding page files into a PDF, read back with qpdf and poppler where they
// exist (natively); under Wine the file's structure is checked here and the
// tools check the Windows tool's output in pdf_tool_check.sh.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "fixture_cases.h"
#include "output/page_geometry.h"
#include "output/pdf_assembly.h"
#include "output/pdf_messages.h"
#include "support/temp_dir.h"
#include "text/codepage.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>

#include "pdf_tools.h"
#endif

namespace folvane {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;

// The cross-reference table of a finished file: every in-use entry points at
// the start of its own object, and startxref at the table.
void ExpectSoundStructure(const std::string& pdf) {
  ASSERT_EQ(pdf.rfind("%PDF-1.4\n", 0), 0u);
  ASSERT_TRUE(pdf.ends_with("%%EOF\n"));
  const std::size_t startxref = pdf.rfind("startxref\n");
  ASSERT_NE(startxref, std::string::npos);
  const auto table = static_cast<std::size_t>(std::stoull(pdf.substr(startxref + 10)));
  ASSERT_LT(table, pdf.size());
  ASSERT_EQ(pdf.compare(table, 7, "xref\n0 "), 0);
  std::istringstream in(pdf.substr(table + 7));
  std::size_t count = 0;
  in >> count;
  ASSERT_GT(count, 1u);
  std::string line;
  std::getline(in, line);
  for (std::size_t id = 0; id < count; ++id) {
    std::size_t offset = 0;
    std::string generation, kind;
    in >> offset >> generation >> kind;
    if (id == 0) {
      EXPECT_EQ(kind, "f");
      continue;
    }
    ASSERT_EQ(kind, "n") << id;
    ASSERT_LT(offset, pdf.size()) << id;
    const std::string header = std::to_string(id) + " 0 obj";
    EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << id;
  }
}

struct Bound {
  PdfAssemblyResult result;
  std::string standardOutput;
};

Bound Bind(const std::vector<std::string>& pages, const std::string& output, const PdfDocumentInfo& info = {}) {
  std::ostringstream out;
  Bound bound{AssemblePdf(pages, output, info, out), ""};
  bound.standardOutput = out.str();
  return bound;
}

void ExpectWritten(const Bound& bound, std::uint32_t pages) {
  EXPECT_EQ(bound.result.outcome, PdfAssemblyOutcome::kWritten);
  EXPECT_TRUE(bound.result.deletePages);
  EXPECT_EQ(bound.result.message, "");
  EXPECT_EQ(bound.result.pagesWritten, pages);
  EXPECT_EQ(bound.standardOutput, "");
}

TEST(AssemblePdf, EveryKindOfPageBindsLosslesslyAtItsSize) {
  TempDir dir;
  const auto cases = test::FixtureCases();
  std::vector<std::string> pages;
  std::vector<test::ExpectedImage> expected;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    pages.push_back(dir / (std::to_string(i) + ".tif"));
    expected.push_back(test::WriteTiffFixture(pages.back(), cases[i].spec));
  }
  const std::string output = dir / "all.pdf";
  const Bound bound = Bind(pages, output);
  ExpectWritten(bound, static_cast<std::uint32_t>(cases.size()));
  ExpectSoundStructure(ReadFile(output));
#ifndef _WIN32
  const auto check = test::RunCommand("qpdf --check " + test::ShellQuote(output));
  EXPECT_EQ(check.status, 0) << check.output;
  const test::PdfInfo info = test::ReadPdfInfo(output);
  EXPECT_EQ(info.version, "1.4");
  ASSERT_EQ(info.pageSizes.size(), cases.size());
  const auto images = test::ExtractImages(output, dir.path().string());
  ASSERT_EQ(images.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    double width = c.spec.width * 72.0 / c.xDpi, height = c.spec.height * 72.0 / c.yDpi;
    if (std::max(width, height) > kMaxPageSideUnits) {
      const double scale = kMaxPageSideUnits / std::max(width, height);
      width *= scale;
      height *= scale;
    }
    // pdfinfo prints sizes rounded to a few digits.
    EXPECT_NEAR(info.pageSizes[i].first, width, 0.01) << c.name;
    EXPECT_NEAR(info.pageSizes[i].second, height, 0.01) << c.name;
    EXPECT_EQ(images[i].width, expected[i].width) << c.name;
    EXPECT_EQ(images[i].height, expected[i].height) << c.name;
    EXPECT_TRUE(images[i].rgb == expected[i].rgb) << c.name << ": pixels differ";
  }
#endif
}

TEST(AssemblePdf, SkipsPagesThatCannotBeReadAndKeepsTheOrder) {
  TempDir dir;
  test::TiffFixture first = test::Spec(300, 100, PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_CCITTFAX4);
  test::TiffFixture last = test::Spec(150, 600, PHOTOMETRIC_RGB, 8, 3, COMPRESSION_ADOBE_DEFLATE, 2);
  test::WriteTiffFixture(dir / "0.tif", first);
  WriteFile(dir / "2.tif", "not an image");
  test::WriteTiffFixture(dir / "3.tif", last);
  const std::string output = dir / "out.pdf";
  const Bound bound = Bind({dir / "0.tif", dir / "1.tif", dir / "2.tif", dir / "3.tif"}, output);
  ExpectWritten(bound, 2);
  EXPECT_EQ(bound.result.skippedPages, (std::vector<std::uint32_t>{1, 2}));
  ExpectSoundStructure(ReadFile(output));
#ifndef _WIN32
  const test::PdfInfo info = test::ReadPdfInfo(output);
  ASSERT_EQ(info.pageSizes.size(), 2u);
  EXPECT_NEAR(info.pageSizes[0].first, 72, 0.01);   // 300 px at 300 dpi
  EXPECT_NEAR(info.pageSizes[1].second, 144, 0.01);  // 600 px at 300 dpi
#endif
}

// Nothing is written, and a file the user chose to replace is still there as
// it was: the document only replaces it when complete.
TEST(AssemblePdf, NoReadablePageLeavesNoFileAndTheChosenOneAsItWas) {
  TempDir dir;
  WriteFile(dir / "1.tif", "II*\0garbage");
  const std::vector<std::vector<std::string>> runs = {{dir / "0.tif", dir / "1.tif"}, {}};
  for (const auto& pages : runs) {
    for (const bool replacing : {false, true}) {
      const std::string output = dir / "out.pdf";
      if (replacing) WriteFile(output, "the file the user chose to replace");
      const Bound bound = Bind(pages, output);
      EXPECT_EQ(bound.result.outcome, PdfAssemblyOutcome::kNoPage);
      EXPECT_FALSE(bound.result.deletePages);
      EXPECT_EQ(bound.result.message, msg::kPdfNoPage);
      EXPECT_EQ(std::filesystem::exists(output), replacing);
      if (replacing) {
        EXPECT_EQ(ReadFile(output), "the file the user chose to replace");
      }
      EXPECT_FALSE(std::filesystem::exists(output + ".part"));
      std::filesystem::remove(output);
    }
  }
}

// The document is written under a name nothing has yet: a file of the user's
// under the usual working name is neither overwritten nor removed.
TEST(AssemblePdf, NeverTouchesAnotherFileOnTheWay) {
  TempDir dir;
  test::WriteTiffFixture(dir / "0.tif", test::TiffFixture{});
  const std::string output = dir / "out.pdf";
  WriteFile(output + ".part", "the user's own file");
  ExpectWritten(Bind({dir / "0.tif"}, output), 1);
  EXPECT_EQ(ReadFile(output + ".part"), "the user's own file");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 3u) << "only the page, the user's file and the document";
}

TEST(AssemblePdf, OutputThatCannotBeCreatedIsReportedOnBothChannels) {
  TempDir dir;
  test::WriteTiffFixture(dir / "0.tif", test::TiffFixture{});
  // A folder that does not exist; a folder under the chosen name, which the
  // finished document cannot replace.
  std::filesystem::create_directory(dir / "taken.pdf");
  for (const std::string& output : {dir / "no-such-directory/out.pdf", dir / "taken.pdf"}) {
    SCOPED_TRACE(output);
    const Bound bound = Bind({dir / "0.tif"}, output);
    EXPECT_EQ(bound.result.outcome, PdfAssemblyOutcome::kCannotCreate);
    EXPECT_FALSE(bound.result.deletePages);
    EXPECT_EQ(bound.result.message, msg::kPdfCannotCreate);
    EXPECT_EQ(bound.standardOutput, "Can not create PDF file.\nMay be file opened by another process");
    EXPECT_FALSE(std::filesystem::is_regular_file(output));
    EXPECT_FALSE(std::filesystem::exists(output + ".part"));
    EXPECT_TRUE(std::filesystem::exists(dir / "0.tif"));
  }
}

TEST(AssemblePdf, ChineseDocumentInformationReadsBack) {
  TempDir dir;
  test::WriteTiffFixture(dir / "0.tif", test::TiffFixture{});
  const PdfDocumentInfo info{
      "\xc9\xa8\xc3\xe8\xbf\xd8\xbc\xfe",                                  // 扫描控件
      "\xd5\xc5\xc8\xfd (Zhang) \\",                                      // 张三 (Zhang) \   .
      "\xd5\xd0\xb1\xea\xce\xc4\xbc\xfe\xa3\xba\xb5\xda\x31\xbe\xed",     // 招标文件：第1卷
      "",
  };
  const std::string output = dir / "out.pdf";
  ExpectWritten(Bind({dir / "0.tif"}, output, info), 1);
  const std::string pdf = ReadFile(output);
  EXPECT_NE(pdf.find("/Creator <FEFF626B63CF63A74EF6>"), std::string::npos);
#ifndef _WIN32
  const test::PdfInfo read = test::ReadPdfInfo(output);
  EXPECT_EQ(read.creator, "扫描控件");
  EXPECT_EQ(read.author, "张三 (Zhang) \\");
  EXPECT_EQ(read.title, "招标文件：第1卷");
  EXPECT_EQ(read.subject, "");
#endif
}

#ifndef _WIN32
// A JPEG page some other program left (YCbCr, several strips): bound as
// libtiff decodes it, no further loss.
TEST(AssemblePdf, JpegPageIsBoundAsLibtiffDecodesIt) {
  if (!TIFFIsCODECConfigured(COMPRESSION_JPEG)) GTEST_SKIP() << "libtiff without JPEG";
  TempDir dir;
  const std::string page = dir / "0.tif";
  constexpr std::uint32_t kWidth = 64, kHeight = 48;
  {
    TIFF* t = TIFFOpen(page.c_str(), "w");
    ASSERT_TRUE(t);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<std::uint8_t> row(kWidth * 3);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      for (std::uint32_t x = 0; x < kWidth; ++x) {
        row[x * 3] = static_cast<std::uint8_t>(x * 4);
        row[x * 3 + 1] = static_cast<std::uint8_t>(y * 5);
        row[x * 3 + 2] = static_cast<std::uint8_t>((x * y) & 0xFF);
      }
      ASSERT_GE(TIFFWriteScanline(t, row.data(), y, 0), 0);
    }
    TIFFClose(t);
  }
  std::vector<std::uint8_t> decoded(kWidth * kHeight * 3);
  {
    TIFF* t = TIFFOpen(page.c_str(), "r");
    ASSERT_TRUE(t);
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    for (std::uint32_t y = 0; y < kHeight; ++y) ASSERT_GE(TIFFReadScanline(t, &decoded[y * kWidth * 3], y, 0), 0);
    TIFFClose(t);
  }
  const std::string output = dir / "out.pdf";
  ExpectWritten(Bind({page}, output), 1);
  const auto images = test::ExtractImages(output, dir.path().string());
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].rgb == decoded);
}

// A disk that fills up while the PDF is written: a file size limit makes the
// writes fail the same way.
TEST(AssemblePdf, WriteFailureRemovesThePartialFileAndKeepsThePages) {
  TempDir dir;
  test::TiffFixture noisy = test::Spec(600, 400, PHOTOMETRIC_RGB, 8, 3, COMPRESSION_NONE);
  test::WriteTiffFixture(dir / "0.tif", noisy);
  test::WriteTiffFixture(dir / "1.tif", noisy);
  const std::string output = dir / "out.pdf", older = dir / "older.pdf";
  const Bound good = Bind({dir / "0.tif"}, older);
  ASSERT_EQ(good.result.outcome, PdfAssemblyOutcome::kWritten);
  const std::string olderBytes = ReadFile(older);

  std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  setrlimit(RLIMIT_FSIZE, &limited);
  const Bound bound = Bind({dir / "0.tif", dir / "1.tif"}, output);
  const Bound replacing = Bind({dir / "0.tif", dir / "1.tif"}, older);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, SIG_DFL);

  for (const Bound& b : {bound, replacing}) {
    EXPECT_EQ(b.result.outcome, PdfAssemblyOutcome::kWriteFailed);
    EXPECT_FALSE(b.result.deletePages);
    EXPECT_EQ(b.result.message, msg::kPdfWriteFailed);
    EXPECT_EQ(b.standardOutput, "");
  }
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_EQ(ReadFile(older), olderBytes) << "the older document is kept";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 3)
      << "a partial file is left";
}
#endif

TEST(PdfMessages, AreTheGbkOfTheirTexts) {
  EXPECT_EQ(bidder::GbkToUtf8(msg::kPdfCannotCreate), "无法创建PDF文件，该文件可能已被其他程序打开。");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kPdfNoPage), "没有可以转换的页面，未生成PDF文件。");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kPdfWriteFailed), "PDF文件写入失败，扫描的页面已保留。");
}

}  // namespace
}  // namespace folvane
