#include "acquire/dib_page_writer.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>

#include "acquire/page_resolution.h"
#include "pagefile/page_tiff.h"
#include "dib_fixture.h"
#include "image_readback.h"
#include "support/temp_dir.h"

namespace folvane {
namespace {

using bidder::test::ReadFile;
using bidder::test::TempDir;
using bidder::test::WriteFile;
using test::DibFixture;
using test::GreyRamp;
using test::MakeDib;
using test::RandomPalette;

constexpr DibColour kBlack{0, 0, 0}, kWhite{255, 255, 255};

std::vector<DibColour> FirstEntries(std::vector<DibColour> palette, std::size_t n) {
  palette.resize(n);
  return palette;
}

struct Layout {
  std::uint16_t compression, photometric, bitsPerSample, samplesPerPixel, predictor;
};

struct PageKind {
  const char* name;
  DibFixture spec;
  Layout layout;
};

// Every kind of bitmap a scanner delivers, with the layout its page file must
// have: one strip, G4 for black and white, Deflate otherwise.
std::vector<PageKind> PageKinds() {
  return {
      {"bilevel 0=black, odd width, bottom-up", {1, 37, 23, false, {kBlack, kWhite}},
       {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISBLACK, 1, 1, PREDICTOR_NONE}},
      {"bilevel 0=white, top-down", {1, 70, 9, true, {kWhite, kBlack}},
       {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1, 1, PREDICTOR_NONE}},
      {"bilevel one pixel wide", {1, 1, 5, false, {kWhite, kBlack}},
       {COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1, 1, PREDICTOR_NONE}},
      {"1 bit, two colours", {1, 19, 7, false, {{200, 10, 10}, {0, 0, 90}}},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_PALETTE, 1, 1, PREDICTOR_NONE}},
      {"4 bit grey ramp", {4, 13, 11, false, GreyRamp(4)},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISBLACK, 4, 1, PREDICTOR_NONE}},
      {"4 bit palette", {4, 14, 6, true, RandomPalette(16, 3)},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_PALETTE, 4, 1, PREDICTOR_NONE}},
      {"4 bit short palette", {4, 9, 4, false, RandomPalette(5, 4), 5},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_PALETTE, 4, 1, PREDICTOR_NONE}},
      {"8 bit grey ramp, top-down", {8, 33, 17, true, GreyRamp(8)},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISBLACK, 8, 1, PREDICTOR_HORIZONTAL}},
      {"8 bit palette", {8, 29, 12, false, RandomPalette(256, 5)},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_PALETTE, 8, 1, PREDICTOR_HORIZONTAL}},
      {"8 bit grey with a short table", {8, 10, 3, false, FirstEntries(GreyRamp(8), 200), 200},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_PALETTE, 8, 1, PREDICTOR_HORIZONTAL}},
      {"24 bit, odd width", {24, 31, 19, false, {}},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8, 3, PREDICTOR_HORIZONTAL}},
      {"24 bit, one pixel, top-down", {24, 1, 1, true, {}},
       {COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8, 3, PREDICTOR_HORIZONTAL}},
  };
}

Layout ReadLayout(TIFF* tif) {
  Layout l{};
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &l.compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bitsPerSample);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samplesPerPixel);
  l.predictor = PREDICTOR_NONE;  // G4 has no predictor tag at all
  if (l.compression != COMPRESSION_CCITTFAX4) TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &l.predictor);
  return l;
}

TEST(DibPageWriter, EveryKindReadsBackAsTheBitmapInOneStrip) {
  TempDir dir;
  for (const PageKind& kind : PageKinds()) {
    SCOPED_TRACE(kind.name);
    const test::TestDib dib = MakeDib(kind.spec);
    const std::string path = dir / "page.tif";
    ASSERT_TRUE(WriteDibPage(dib.bytes, path));

    const auto colours = test::ReadTiffColours(path);
    ASSERT_TRUE(colours);
    EXPECT_EQ(test::Difference(*colours, dib), "");

    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    const Layout l = ReadLayout(tif);
    EXPECT_EQ(l.compression, kind.layout.compression);
    EXPECT_EQ(l.photometric, kind.layout.photometric);
    EXPECT_EQ(l.bitsPerSample, kind.layout.bitsPerSample);
    EXPECT_EQ(l.samplesPerPixel, kind.layout.samplesPerPixel);
    EXPECT_EQ(l.predictor, kind.layout.predictor);
    EXPECT_EQ(TIFFNumberOfStrips(tif), 1u);
    EXPECT_FALSE(TIFFIsTiled(tif));
    EXPECT_EQ(TIFFNumberOfDirectories(tif), 1);
    TIFFClose(tif);
  }
}

TEST(DibPageWriter, BilevelBitsAreStoredAsScannedWhateverThePaletteOrder) {
  // The same bits under both palette orders: the photometric tag, not the
  // data, tells them apart, so a PDF can take the G4 data as it is.
  TempDir dir;
  DibFixture spec{1, 40, 8, false, {kBlack, kWhite}};
  const auto zeroIsBlack = MakeDib(spec);
  spec.palette = {kWhite, kBlack};
  const auto zeroIsWhite = MakeDib(spec);
  ASSERT_TRUE(WriteDibPage(zeroIsBlack.bytes, dir / "a.tif"));
  ASSERT_TRUE(WriteDibPage(zeroIsWhite.bytes, dir / "b.tif"));
  auto rawStrip = [](const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    std::vector<std::uint8_t> data(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)));
    TIFFReadRawStrip(tif, 0, data.data(), static_cast<tmsize_t>(data.size()));
    TIFFClose(tif);
    return data;
  };
  EXPECT_EQ(rawStrip(dir / "a.tif"), rawStrip(dir / "b.tif"));
}

TEST(DibPageWriter, WritesTheScannersResolutionOrTheDefault) {
  TempDir dir;
  struct Case {
    std::int32_t xPpm, yPpm;
    float xDpi, yDpi;
  };
  const Case cases[] = {{11811, 11811, 300, 300}, {7874, 3937, 200, 100}, {0, 0, 96, 96}, {0, 23622, 600, 600}};
  for (const Case& c : cases) {
    DibFixture spec{8, 10, 10, false, GreyRamp(8)};
    spec.xPelsPerMeter = c.xPpm;
    spec.yPelsPerMeter = c.yPpm;
    const std::string path = dir / "page.tif";
    ASSERT_TRUE(WriteDibPage(MakeDib(spec).bytes, path));
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    float x = 0, y = 0;
    std::uint16_t unit = 0;
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y);
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFClose(tif);
    EXPECT_EQ(unit, RESUNIT_INCH);
    EXPECT_FLOAT_EQ(x, c.xDpi) << c.xPpm;
    EXPECT_FLOAT_EQ(y, c.yDpi) << c.yPpm;
  }
}

TEST(PageResolution, WholeDpiExactValuesDefaultsAndThePageSizeLimit) {
  struct Case {
    std::int32_t xPpm, yPpm;
    std::uint32_t width, height;
    double xDpi, yDpi;
  };
  const Case cases[] = {
      {11811, 11811, 2480, 3508, 300, 300},  // 300 dpi as scanners round it
      {2834, 2835, 100, 100, 72, 72},        // 72 dpi truncated or rounded
      {5000, 5000, 100, 100, 127, 127},      // an exact whole dpi
      {5020, 5020, 100, 100, 127.508, 127.508},  // not a whole dpi: kept
      {7874, 3937, 1728, 1100, 200, 100},    // fax-like, two resolutions
      {0, 0, 2480, 3508, 96, 96},            // none: the default
      {-11811, 11811, 10, 10, 300, 300},     // one axis stands for both
      {2147483647, 2147483647, 10, 10, 96, 96},  // beyond any scanner
      {0, 0, 30000, 100, 150, 150},          // 96 dpi would be 22500 units wide
      {11811, 11811, 4000000, 10, 20000, 20000},
      {3937, 7874, 2000000, 10, 10000, 20000},   // raised to fit, in proportion
      // Below one dpi the PDF output would ignore the value: none at all.
      {1, 1, 2480, 3508, 96, 96},
      {30, 30, 100, 100, 96, 96},            // 0.762 dpi
      {30, 3937, 100, 100, 100, 100},        // the usable axis stands for both
      {39, 39, 100, 100, 1, 1},              // 0.99 dpi is 1 dpi as scanners round it
      {0, 0, 1u << 31, 1, kMaxUsableDpi, kMaxUsableDpi},  // too wide for any usable resolution
  };
  for (const Case& c : cases) {
    const PageResolution r = ChoosePageResolution(c.xPpm, c.yPpm, c.width, c.height);
    EXPECT_NEAR(r.xDpi, c.xDpi, 0.001) << c.xPpm << " " << c.width;
    EXPECT_NEAR(r.yDpi, c.yDpi, 0.001) << c.yPpm << " " << c.height;
    // What the file keeps is what the PDF output accepts.
    EXPECT_TRUE(IsUsableDpi(static_cast<float>(r.xDpi)) && IsUsableDpi(static_cast<float>(r.yDpi)));
    if (c.width / kMaxUsableDpi * 72.0 <= kMaxPageSideUnits) {
      EXPECT_LE(c.width * 72.0 / static_cast<float>(r.xDpi), kMaxPageSideUnits);
    }
    EXPECT_LE(c.height * 72.0 / static_cast<float>(r.yDpi), kMaxPageSideUnits);
  }
}

// A packed DIB with one field changed, or cut short.
std::vector<std::uint8_t> With(std::vector<std::uint8_t> dib, std::size_t offset, std::uint32_t value, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) dib[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  return dib;
}
std::vector<std::uint8_t> Cut(std::vector<std::uint8_t> dib, std::size_t size) {
  dib.resize(size);
  return dib;
}

TEST(DibPageWriter, RejectsMalformedBitmapsAndWritesNothing) {
  const auto grey = MakeDib({8, 10, 4, false, GreyRamp(8)}).bytes;  // 40 + 1024 + 4 * 12
  const auto bw = MakeDib({1, 10, 4, false, {kBlack, kWhite}}).bytes;
  const auto rgb = MakeDib({24, 10, 4, false, {}}).bytes;
  struct Case {
    const char* what;
    std::vector<std::uint8_t> dib;
  };
  const Case cases[] = {
      {"empty", {}},
      {"shorter than a header", Cut(grey, 39)},
      {"core header", With(grey, 0, 12)},
      {"header larger than the buffer", With(grey, 0, 5000)},
      {"zero width", With(grey, 4, 0)},
      {"negative width", With(grey, 4, static_cast<std::uint32_t>(-10))},
      {"zero height", With(grey, 8, 0)},
      {"most negative height", With(grey, 8, 0x80000000u)},
      {"16 bits", With(rgb, 14, 16, 2)},
      {"32 bits", With(rgb, 14, 32, 2)},
      {"2 bits", With(grey, 14, 2, 2)},
      {"0 bits", With(grey, 14, 0, 2)},
      {"run-length encoded", With(grey, 16, 1)},
      {"bit fields", With(rgb, 16, 3)},
      {"more colours than 1 bit indexes", With(bw, 32, 3)},
      {"more colours than 8 bits index", With(grey, 32, 257)},
      {"table cut short", Cut(grey, 40 + 1000)},
      {"bits one byte short", Cut(grey, grey.size() - 1)},
      {"one row short", Cut(rgb, rgb.size() - 32)},
      {"width beyond the buffer", With(rgb, 4, 0x7fffffff)},
      {"height beyond the buffer", With(rgb, 8, 0x7fffffff)},
      {"top-down height beyond the buffer", With(rgb, 8, static_cast<std::uint32_t>(-0x7fffffff))},
      {"width and height overflowing 32 bits", With(With(bw, 4, 0x10000), 8, 0x10000)},
  };
  TempDir dir;
  for (const Case& c : cases) {
    EXPECT_FALSE(WriteDibPage(c.dib, dir / "page.tif")) << c.what;
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << c.what;
  }
  // The untouched bitmaps are fine.
  for (const auto* good : {&grey, &bw, &rgb}) EXPECT_TRUE(WriteDibPage(*good, dir / "page.tif"));
}

TEST(DibPageWriter, AnyHeaderByteChangedEitherStoresAReadablePageOrNothing) {
  TempDir dir;
  const std::string path = dir / "page.tif";
  for (const auto& dib : {MakeDib({1, 21, 5, false, {kBlack, kWhite}}).bytes, MakeDib({8, 9, 4, true, GreyRamp(8)}).bytes,
                          MakeDib({24, 5, 3, false, {}}).bytes}) {
    for (std::size_t at = 0; at < 44; ++at) {
      for (int value : {0x00, 0x01, 0x7f, 0x80, 0xff}) {
        std::vector<std::uint8_t> changed = dib;
        changed[at] = static_cast<std::uint8_t>(value);
        if (WriteDibPage(changed, path)) {
          EXPECT_TRUE(test::ReadTiffColours(path)) << at << " " << value;
        } else {
          EXPECT_FALSE(std::filesystem::exists(path)) << at << " " << value;
        }
      }
    }
  }
}

// A white bilevel bitmap of any size, built without the fixture's expected
// pixels (which would take gigabytes here).
std::vector<std::uint8_t> BlankBilevel(std::uint32_t width, std::uint32_t height) {
  const std::size_t stride = (std::size_t{width} + 31) / 32 * 4;
  std::vector<std::uint8_t> b(40 + 8 + stride * height, 0xFF);  // every bit white
  std::fill_n(b.begin(), 48, 0);
  test::PutU32(b, 0, 40);
  test::PutU32(b, 4, width);
  test::PutU32(b, 8, height);
  test::PutU16(b, 12, 1);
  test::PutU16(b, 14, 1);
  test::PutU32(b, 24, 11811);
  test::PutU32(b, 28, 11811);
  b[44] = b[45] = b[46] = 255;  // palette: 0 black, 1 white
  return b;
}

// Capture and the outputs give one answer: a page is stored exactly when
// both outputs can open it afterwards.
TEST(DibPageWriter, StoresAPageExactlyWhenTheOutputsOpenIt) {
  struct Case {
    const char* what;
    std::uint32_t width, height;
    bool stored;
  };
  const Case cases[] = {
      {"the longest side the outputs read", kMaxImageSide, 2, true},
      {"wider than the outputs read", 200000, 2, false},
      {"taller than the outputs read", 2, kMaxImageSide + 1, false},
      {"blank, decoding to no more than the free allowance", kMaxImageSide, 4096, true},
      {"blank, decoding to more than its few G4 bytes may stand for", kMaxImageSide, 4200, false},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const auto path = dir / "page.tif";
    EXPECT_EQ(WriteDibPage(BlankBilevel(c.width, c.height), path), c.stored) << c.what;
    {
      const auto page = PageTiff::Open(path);
      EXPECT_EQ(page != nullptr, c.stored) << c.what;
      if (page) {
        EXPECT_EQ(page->Width(), c.width) << c.what;
      }
    }  // closed: Windows removes no open file
    if (!c.stored) {
      EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << c.what;
    }
    std::filesystem::remove(path);
  }
}

TEST(DibPageWriter, AcceptsLargerHeadersAndSkipsATableOf24BitBitmaps) {
  TempDir dir;
  // A BITMAPV5HEADER (124 bytes) before the table.
  const test::TestDib v3 = MakeDib({8, 12, 5, false, RandomPalette(256, 9)});
  std::vector<std::uint8_t> v5(v3.bytes.begin(), v3.bytes.begin() + 40);
  v5.resize(124, 0);
  v5.insert(v5.end(), v3.bytes.begin() + 40, v3.bytes.end());
  v5 = With(v5, 0, 124);
  ASSERT_TRUE(WriteDibPage(v5, dir / "v5.tif"));
  EXPECT_EQ(test::Difference(*test::ReadTiffColours(dir / "v5.tif"), v3), "");

  // A 24-bit bitmap may carry a display palette: it is not part of the bits.
  const test::TestDib plain = MakeDib({24, 7, 3, false, {}});
  std::vector<std::uint8_t> withTable(plain.bytes.begin(), plain.bytes.begin() + 40);
  withTable.insert(withTable.end(), 2 * 4, 0x55);
  withTable.insert(withTable.end(), plain.bytes.begin() + 40, plain.bytes.end());
  withTable = With(withTable, 32, 2);
  ASSERT_TRUE(WriteDibPage(withTable, dir / "t.tif"));
  EXPECT_EQ(test::Difference(*test::ReadTiffColours(dir / "t.tif"), plain), "");
}

TEST(DibPageWriter, NoStaleFileSurvivesAFailedPage) {
  TempDir dir;
  const std::string path = dir / "3.tif";
  const test::TestDib good = MakeDib({24, 5, 5, false, {}});

  WriteFile(path, "a page of another document");
  EXPECT_FALSE(WriteDibPage(Cut(good.bytes, 50), path));
  EXPECT_FALSE(std::filesystem::exists(path));

  WriteFile(path, "a page of another document");
  EXPECT_TRUE(WriteDibPage(good.bytes, path));
  EXPECT_EQ(test::Difference(*test::ReadTiffColours(path), good), "");
  // Nothing but the page itself is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(DibPageWriter, AnUnwritablePlaceFailsAndLeavesNothing) {
  TempDir dir;
  const test::TestDib good = MakeDib({24, 5, 5, false, {}});
  EXPECT_FALSE(WriteDibPage(good.bytes, dir / "missing-directory/0.tif"));
  // A directory where the temporary file would go.
  std::filesystem::create_directory(dir / "0.tif.part");
  EXPECT_FALSE(WriteDibPage(good.bytes, dir / "0.tif"));
  EXPECT_FALSE(std::filesystem::exists(dir / "0.tif"));
}

}  // namespace
}  // namespace folvane
