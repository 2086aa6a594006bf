#include "output/png_export.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <filesystem>

#include "acquire/dib_page_writer.h"
#include "acquire/page_store.h"
#include "allocation_limit.h"
#include "dib_fixture.h"
#include "image_readback.h"
#include "output/png_messages.h"
#include "support/temp_dir.h"

namespace folvane {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;
using test::DibFixture;
using test::MakeDib;
namespace fs = std::filesystem;

constexpr DibColour kBlack{0, 0, 0}, kWhite{255, 255, 255};

std::string Prefix(const TempDir& dir) { return (dir.path() / "").string(); }

// What the control's session does with a document: export its pages, then
// delete them when the result says they may go.
PngExportResult ExportAndLetGo(PageStore& store, const std::string& chosen) {
  PngExportResult result = ExportPngFiles(store.PageFileNames(), chosen);
  if (result.deletePages) store.DeletePages();
  return result;
}

std::size_t FileCount(const TempDir& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

TEST(PngNames, DropFourCharactersAndNumberOnlySeveralPages) {
  EXPECT_EQ(PngOutputName(*PngBaseName("C:\\out\\scan.png"), 0, 1), "C:\\out\\scan.PNG");
  EXPECT_EQ(PngOutputName(*PngBaseName("C:\\out\\scan.png"), 0, 3), "C:\\out\\scan_0.PNG");
  EXPECT_EQ(PngOutputName(*PngBaseName("C:\\out\\scan.png"), 2, 3), "C:\\out\\scan_2.PNG");
  EXPECT_EQ(PngOutputName(*PngBaseName("C:\\out\\scan.png"), 11, 12), "C:\\out\\scan_11.PNG");
  // Four characters go whatever they are.
  EXPECT_EQ(PngOutputName(*PngBaseName("C:\\out\\scan.jpeg"), 0, 1), "C:\\out\\scan..PNG");
  EXPECT_EQ(PngBaseName("a.png"), "a");
  // Nothing would be left of the name.
  for (const char* tooShort : {"", "a", "abc", ".png"}) EXPECT_FALSE(PngBaseName(tooShort)) << tooShort;
}

TEST(PngExport, EveryKindOfPageDecodesToTheScannedPixels) {
  struct Case {
    DibFixture spec;
    int pngBitDepth, pngColourType;
  };
  const Case cases[] = {
      {{1, 37, 23, false, {kBlack, kWhite}}, 1, 0},
      {{1, 70, 9, true, {kWhite, kBlack}}, 1, 0},
      {{1, 19, 7, false, {{200, 10, 10}, {0, 0, 90}}}, 1, 3},
      {{4, 13, 11, false, test::GreyRamp(4)}, 4, 0},
      {{4, 14, 6, true, test::RandomPalette(16, 3)}, 4, 3},
      {{8, 33, 17, true, test::GreyRamp(8)}, 8, 0},
      {{8, 29, 12, false, test::RandomPalette(256, 5)}, 8, 3},
      {{24, 31, 19, false, {}}, 8, 2},
  };
  TempDir dir;
  PageStore store(Prefix(dir));
  std::vector<test::TestDib> dibs;
  for (const Case& c : cases) {
    dibs.push_back(MakeDib(c.spec));
    ASSERT_TRUE(store.AddPage(dibs.back().bytes));
  }
  const std::string chosen = dir / "scan.png";
  const PngExportResult result = ExportAndLetGo(store, chosen);
  EXPECT_TRUE(result.Messages().empty());
  EXPECT_TRUE(result.deletePages);
  EXPECT_EQ(store.PageCount(), 0u);
  EXPECT_FALSE(fs::exists(chosen));
  for (std::size_t i = 0; i < dibs.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string name = dir / ("scan_" + std::to_string(i) + ".PNG");
    EXPECT_EQ(result.outputNames[i], name);
    EXPECT_EQ(result.pages[i], PngPageOutcome::kWritten);
    EXPECT_FALSE(fs::exists(store.PageFileName(static_cast<std::uint32_t>(i))));
    const auto png = test::ReadPngColours(name);
    ASSERT_TRUE(png);
    EXPECT_EQ(test::Difference(*png, dibs[i]), "");
    // The PNG keeps the page's own form: bilevel, grey and palette stay small.
    const std::string bytes = ReadFile(name);
    EXPECT_EQ(bytes[24], cases[i].pngBitDepth);
    EXPECT_EQ(bytes[25], cases[i].pngColourType);
  }
}

TEST(PngExport, OnePageIsNamedWithoutANumber) {
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib page = MakeDib({24, 4, 4, false, {}});
  store.AddPage(page.bytes);
  const PngExportResult result = ExportAndLetGo(store, dir / "scan.png");
  ASSERT_EQ(result.outputNames.size(), 1u);
  EXPECT_EQ(result.outputNames[0], dir / "scan.PNG");
  EXPECT_EQ(test::Difference(*test::ReadPngColours(dir / "scan.PNG"), page), "");
}

TEST(PngExport, AnUnreadablePageIsReportedAndNeverGetsThePreviousPicture) {
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib a = MakeDib({24, 8, 8, false, {}, 0, 11811, 11811, 1});
  const test::TestDib c = MakeDib({24, 8, 8, false, {}, 0, 11811, 11811, 3});
  for (const auto* d : {&a, &c, &a, &c}) store.AddPage(d->bytes);
  fs::remove(store.PageFileName(1));  // missing
  // Page 2 is a TIFF whose data ends early: it fails while being decoded.
  const std::string page2 = ReadFile(store.PageFileName(2));
  TIFF* tif = TIFFOpen(store.PageFileName(0).c_str(), "r");
  const auto stripOffset = static_cast<std::size_t>(TIFFGetStrileOffset(tif, 0));
  TIFFClose(tif);
  std::string damaged = page2;
  for (std::size_t i = stripOffset + 4; i < damaged.size() && i < stripOffset + 40; ++i) damaged[i] = '\xff';
  WriteFile(store.PageFileName(2), damaged);

  const PngExportResult result = ExportAndLetGo(store, dir / "scan.png");
  const std::vector<PngPageOutcome> expected = {PngPageOutcome::kWritten, PngPageOutcome::kPageUnreadable,
                                                PngPageOutcome::kPageUnreadable, PngPageOutcome::kWritten};
  EXPECT_EQ(result.pages, expected);
  EXPECT_EQ(result.Messages(), std::vector<std::string>(2, msg::kPngPageUnreadable));
  EXPECT_EQ(test::Difference(*test::ReadPngColours(dir / "scan_0.PNG"), a), "");
  EXPECT_FALSE(fs::exists(dir / "scan_1.PNG"));
  EXPECT_FALSE(fs::exists(dir / "scan_2.PNG"));
  EXPECT_EQ(test::Difference(*test::ReadPngColours(dir / "scan_3.PNG"), c), "");
  // The unreadable pages hold nothing worth keeping: the document ends.
  EXPECT_TRUE(result.deletePages);
  EXPECT_EQ(store.PageCount(), 0u);
  EXPECT_EQ(FileCount(dir), 2u);
}

TEST(PngExport, APngThatCannotBeWrittenKeepsEveryPage) {
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib page = MakeDib({8, 6, 6, false, test::GreyRamp(8)});
  for (int i = 0; i < 3; ++i) store.AddPage(page.bytes);
  fs::create_directory(dir / "scan_1.PNG");  // page 1's name is taken by a directory

  const PngExportResult result = ExportAndLetGo(store, dir / "scan.png");
  const std::vector<PngPageOutcome> expected = {PngPageOutcome::kWritten, PngPageOutcome::kOutputFailed,
                                                PngPageOutcome::kWritten};
  EXPECT_EQ(result.pages, expected);
  EXPECT_EQ(result.Messages(), std::vector<std::string>{msg::kPngSaveFailed});
  EXPECT_FALSE(result.deletePages);
  EXPECT_EQ(store.PageCount(), 3u);
  for (std::uint32_t i = 0; i < 3; ++i) EXPECT_TRUE(fs::exists(store.PageFileName(i)));
  EXPECT_TRUE(fs::is_directory(dir / "scan_1.PNG"));  // what was in the way stays

  // The same document can be exported again elsewhere.
  fs::create_directory(dir / "other");
  const PngExportResult again = ExportAndLetGo(store, dir / "other/scan.png");
  EXPECT_TRUE(again.Messages().empty());
  EXPECT_TRUE(again.deletePages);
  EXPECT_TRUE(fs::exists(dir / "other/scan_1.PNG"));
}

TEST(PngExport, AnUnwritableFolderOrAnEmptyNameKeepsTheDocument) {
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib page = MakeDib({24, 3, 3, false, {}});
  store.AddPage(page.bytes);
  store.AddPage(page.bytes);
  for (const std::string& chosen : {dir / "no-such-folder/scan.png", std::string(".png")}) {
    const PngExportResult result = ExportAndLetGo(store, chosen);
    EXPECT_EQ(result.pages, std::vector<PngPageOutcome>(2, PngPageOutcome::kOutputFailed)) << chosen;
    EXPECT_EQ(result.Messages(), std::vector<std::string>{msg::kPngSaveFailed});
    EXPECT_EQ(store.PageCount(), 2u);
    EXPECT_TRUE(fs::exists(store.PageFileName(1)));
  }
}

// TIFF files that the scanning control does not write, as a user may leave
// them under a page's name: decoded through libtiff's generic path.
void WriteForeignTiff(const std::string& path, std::uint32_t w, std::uint32_t h, int kind) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  const bool tiled = kind == 0, separate = kind == 1, sixteen = kind == 2, alpha = kind == 3, strips = kind == 4;
  const int samples = sixteen || strips ? 1 : alpha ? 4 : 3;
  const int bits = sixteen ? 16 : 8;
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  if (alpha) {
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  const int bytesPerSample = bits / 8;
  // Alpha is opaque: libtiff hands out premultiplied colours, which only
  // then equal the picture's own.
  auto value = [&](std::uint32_t x, std::uint32_t y, int s) {
    return alpha && s == 3 ? 0xFFFFu : test::Noise(x, y, static_cast<std::uint32_t>(s));
  };
  if (tiled) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
    std::vector<std::uint8_t> tile(16 * 16 * samples);
    for (std::uint32_t ty = 0; ty < h; ty += 16) {
      for (std::uint32_t tx = 0; tx < w; tx += 16) {
        for (std::uint32_t y = 0; y < 16; ++y) {
          for (std::uint32_t x = 0; x < 16; ++x) {
            for (int s = 0; s < samples; ++s) {
              tile[(y * 16 + x) * samples + s] = static_cast<std::uint8_t>(value(tx + x, ty + y, s));
            }
          }
        }
        TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
      }
    }
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, strips ? 7 : 5);
    const int planes = separate ? samples : 1, perRow = separate ? 1 : samples;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * perRow * bytesPerSample);
    for (int p = 0; p < planes; ++p) {
      for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
          for (int s = 0; s < perRow; ++s) {
            for (int b = 0; b < bytesPerSample; ++b) {
              row[(x * perRow + s) * bytesPerSample + b] = static_cast<std::uint8_t>(value(x, y, p + s) >> (8 * b));
            }
          }
        }
        TIFFWriteScanline(tif, row.data(), y, static_cast<std::uint16_t>(p));
      }
    }
  }
  TIFFClose(tif);
}

TEST(PngExport, OtherTiffFilesConvertToTheColoursTheyShow) {
  TempDir dir;
  const char* kinds[] = {"tiled", "separate planes", "16-bit grey", "RGB with alpha", "several strips"};
  for (int kind = 0; kind < 5; ++kind) {
    SCOPED_TRACE(kinds[kind]);
    const std::string page = dir / "page.tif";
    WriteForeignTiff(page, 37, 41, kind);
    const auto want = test::ReadTiffColours(page);
    ASSERT_TRUE(want);
    ASSERT_EQ(ConvertPageToPng(page, dir / "out.PNG"), PngPageOutcome::kWritten);
    const auto got = test::ReadPngColours(dir / "out.PNG");
    ASSERT_TRUE(got);
    EXPECT_EQ(got->width, want->width);
    EXPECT_EQ(got->height, want->height);
    EXPECT_TRUE(got->pixels == want->pixels);
  }
}

// A page too large for the memory left is an unreadable page: the export goes
// on with the next one, and the document is emptied as for any unreadable page.
TEST(PngExport, OutOfMemoryOnAPageSkipsOnlyThatPage) {
  TempDir dir;
  PageStore store(Prefix(dir));
  const test::TestDib page = MakeDib({24, 30, 20, false, {}});
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(store.AddPage(page.bytes));
  // Decoded through the generic path, in a band of 65 rows of 2000 pixels.
  WriteForeignTiff(store.PageFileName(1), 2000, 70, 3);

  const int refusedBefore = test::LargeArraysFail::Refused();
  PngExportResult result;
  {
    test::LargeArraysFail limit(300000);  // above a page's file buffer, below the band
    result = ExportAndLetGo(store, dir / "scan.png");
  }
  EXPECT_GT(test::LargeArraysFail::Refused(), refusedBefore);
  EXPECT_EQ(result.pages, (std::vector<PngPageOutcome>{PngPageOutcome::kWritten, PngPageOutcome::kPageUnreadable,
                                                       PngPageOutcome::kWritten}));
  EXPECT_EQ(result.Messages(), std::vector<std::string>{msg::kPngPageUnreadable});
  EXPECT_EQ(test::Difference(*test::ReadPngColours(dir / "scan_0.PNG"), page), "");
  EXPECT_FALSE(fs::exists(dir / "scan_1.PNG"));
  EXPECT_EQ(test::Difference(*test::ReadPngColours(dir / "scan_2.PNG"), page), "");
  EXPECT_TRUE(result.deletePages);
}

TEST(PngExport, DamagedPageFilesNeverCrashAndLeaveNoOutput) {
  // Every way of cutting or spoiling a real page file: untrusted input.
  TempDir dir;
  const std::string bilevel = dir / "bilevel.tif", colour = dir / "colour.tif";
  ASSERT_TRUE(WriteDibPage(MakeDib({1, 50, 30, false, {kBlack, kWhite}}).bytes, bilevel));
  ASSERT_TRUE(WriteDibPage(MakeDib({24, 20, 10, false, {}}).bytes, colour));
  const std::string out = dir / "out.PNG", page = dir / "page.tif";
  int tried = 0;
  for (const std::string& source : {ReadFile(bilevel), ReadFile(colour)}) {
    for (std::size_t cut = 0; cut < source.size(); cut += 7) {
      WriteFile(page, source.substr(0, cut));
      const PngPageOutcome outcome = ConvertPageToPng(page, out);
      if (outcome != PngPageOutcome::kWritten) {
        EXPECT_FALSE(fs::exists(out)) << cut;
      }
      fs::remove(out);
      ++tried;
    }
    for (std::size_t at = 0; at < source.size(); ++at) {
      std::string spoiled = source;
      spoiled[at] = static_cast<char>(spoiled[at] ^ (0x55 + at));
      WriteFile(page, spoiled);
      ConvertPageToPng(page, out);
      fs::remove(out);
    }
  }
  EXPECT_GT(tried, 10);
  WriteFile(page, "");
  EXPECT_EQ(ConvertPageToPng(page, out), PngPageOutcome::kPageUnreadable);
  EXPECT_EQ(ConvertPageToPng(dir.path().string(), out), PngPageOutcome::kPageUnreadable);
  // A header that claims a huge picture fails at its first row, having
  // allocated no more than a row.
  TIFF* tif = TIFFOpen(page.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 900000u);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 900000u);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 900000u);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFWriteRawStrip(tif, 0, const_cast<char*>("xx"), 2);
  TIFFClose(tif);
  EXPECT_EQ(ConvertPageToPng(page, out), PngPageOutcome::kPageUnreadable);
  EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace folvane
