// The two outputs read the same page files: a file either shows the same
// picture, the right way up, in the PDF and in the PNG, or both skip it.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "image_readback.h"
#include "output/page_image.h"
#include "output/png_export.h"
#include "page_stream_bytes.h"
#include "support/temp_dir.h"
#include "fixture_cases.h"
#include "tiff_fixture.h"

namespace folvane {
namespace {

using bidder::test::TempDir;
using test::Rgb;

// The picture a PDF image of Flate rows without predictor shows.
std::vector<Rgb> PdfPixels(const PageImage& image) {
  if (image.encoding != PdfImageEncoding::kFlate || image.tiffPredictor) return {};
  const int colors = image.colorModel == PdfColorModel::kRgb ? 3 : 1;
  const std::size_t rowBytes = (std::size_t{image.width} * colors * image.bitsPerComponent + 7) / 8;
  std::vector<std::uint8_t> raw(rowBytes * image.height);
  uLongf size = static_cast<uLongf>(raw.size());
  const std::vector<std::uint8_t> stream = test::StreamBytes(image);
  if (uncompress(raw.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK ||
      size != raw.size())
    return {};
  const int bits = image.bitsPerComponent, maxValue = (1 << bits) - 1;
  std::vector<Rgb> pixels;
  for (std::uint32_t y = 0; y < image.height; ++y) {
    const std::uint8_t* row = &raw[rowBytes * y];
    for (std::uint32_t x = 0; x < image.width; ++x) {
      if (colors == 3) {
        pixels.push_back({row[x * 3], row[x * 3 + 1], row[x * 3 + 2]});
        continue;
      }
      const std::size_t bit = std::size_t{x} * bits;
      const unsigned v = (row[bit / 8] >> (8 - bits - bit % 8)) & maxValue;
      if (image.colorModel == PdfColorModel::kIndexed) {
        pixels.push_back({image.palette[v * 3], image.palette[v * 3 + 1], image.palette[v * 3 + 2]});
      } else {
        const auto grey = static_cast<std::uint8_t>(v * 255 / maxValue);
        pixels.push_back({grey, grey, grey});
      }
    }
  }
  return pixels;
}

std::vector<Rgb> Pixels(const test::ExpectedImage& image) {
  std::vector<Rgb> pixels;
  for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3)
    pixels.push_back({image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]});
  return pixels;
}

using test::Spec;

test::TiffFixture BottomUp(test::TiffFixture s, std::uint32_t rowsPerStrip = 0) {
  s.orientation = ORIENTATION_BOTLEFT;
  s.rowsPerStrip = rowsPerStrip;
  return s;
}

test::TiffFixture Tiled(test::TiffFixture s, std::uint16_t orientation = ORIENTATION_TOPLEFT) {
  s.tileSize = 16;
  s.orientation = orientation;
  return s;
}

TEST(PageReaders, BothOutputsShowThePageTheRightWayUp) {
  constexpr std::uint16_t kGrey = PHOTOMETRIC_MINISBLACK, kWhite = PHOTOMETRIC_MINISWHITE,
                          kPalette = PHOTOMETRIC_PALETTE, kRgb = PHOTOMETRIC_RGB;
  constexpr std::uint16_t kZip = COMPRESSION_ADOBE_DEFLATE, kG4 = COMPRESSION_CCITTFAX4, kLzw = COMPRESSION_LZW,
                          kNone = COMPRESSION_NONE;
  test::TiffFixture eightBitMap = Spec(61, 13, kPalette, 8, 1, kZip);
  eightBitMap.paletteEightBit = true;
  test::TiffFixture eightBitMapBottomUp = BottomUp(Spec(29, 40, kPalette, 4, 1, kLzw), 6);
  eightBitMapBottomUp.paletteEightBit = true;
  const struct {
    const char* what;
    test::TiffFixture spec;
  } cases[] = {
      {"bottom-up, a row per strip", BottomUp(Spec(50, 200, kGrey, 8, 1, kZip), 1)},
      {"bottom-up, one strip of g4", BottomUp(Spec(300, 90, kWhite, 1, 1, kG4))},
      {"bottom-up, one strip of rgb", BottomUp(Spec(45, 70, kRgb, 8, 3, kZip))},
      {"bottom-up, strips not dividing the height", BottomUp(Spec(33, 100, kPalette, 4, 1, kLzw), 7)},
      {"tiled grey, partial tiles", Tiled(Spec(37, 41, kGrey, 8, 1, kZip))},
      {"tiled bilevel", Tiled(Spec(70, 33, kWhite, 1, 1, kZip))},
      {"tiled rgb, bottom-up", Tiled(Spec(40, 35, kRgb, 8, 3, kLzw), ORIENTATION_BOTLEFT)},
      // Uncompressed tiles, which libtiff's RGBA conversion refuses when the
      // file is read rather than mapped.
      {"tiled grey, uncompressed", Tiled(Spec(37, 41, kGrey, 8, 1, kNone))},
      {"tiled palette, uncompressed, bottom-up", Tiled(Spec(33, 20, kPalette, 8, 1, kNone), ORIENTATION_BOTLEFT)},
      {"colour map of 8-bit values", eightBitMap},
      {"colour map of 8-bit values, bottom-up", eightBitMapBottomUp},
  };
  TempDir dir;
  const std::string page = dir / "page.tif", png = dir / "page.PNG";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Rgb> want = Pixels(test::WriteTiffFixture(page, c.spec));

    const auto image = LoadPageImage(page);
    ASSERT_TRUE(image);
    EXPECT_TRUE(PdfPixels(*image) == want) << "PDF";

    ASSERT_EQ(ConvertPageToPng(page, png), PngPageOutcome::kWritten);
    const auto decoded = test::ReadPngColours(png);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->pixels == want) << "PNG";
  }
}

// A blank page of the given layout, valid and small on disk whatever its size.
void WriteBlankTiff(const std::string& path, std::uint32_t width, std::uint32_t height, std::uint16_t orientation) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_TRUE(tif);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
  const std::vector<std::uint8_t> row(width);
  for (std::uint32_t y = 0; y < height; ++y) TIFFWriteScanline(tif, const_cast<std::uint8_t*>(row.data()), y, 0);
  TIFFClose(tif);
}

TEST(PageReaders, BothOutputsSkipTheSameFiles) {
  TempDir dir;
  const std::string page = dir / "page.tif", png = dir / "page.PNG";
  const struct {
    const char* what;
    std::uint32_t width, height;
    std::uint16_t orientation;
  } blanks[] = {
      {"turned a quarter", 20, 10, ORIENTATION_LEFTTOP},
      {"turned three quarters", 20, 10, ORIENTATION_RIGHTBOT},
      {"mirrored", 20, 10, ORIENTATION_TOPRIGHT},
      {"upside down and mirrored", 20, 10, ORIENTATION_BOTRIGHT},
      {"wider than any scanner", 200000, 2, ORIENTATION_TOPLEFT},
      // Decoded a strip at a time: one strip of 20 million pixels is over the limit.
      {"bottom-up in one large strip", 4000, 5000, ORIENTATION_BOTLEFT},
  };
  for (const auto& c : blanks) {
    SCOPED_TRACE(c.what);
    WriteBlankTiff(page, c.width, c.height, c.orientation);
    EXPECT_FALSE(LoadPageImage(page));
    EXPECT_EQ(ConvertPageToPng(page, png), PngPageOutcome::kPageUnreadable);
    EXPECT_FALSE(std::filesystem::exists(png));
  }
  // The directory claims a strip far larger than the file.
  bidder::test::WriteFile(page, test::HandMadeTiff(4000, 4000, 8, 1, COMPRESSION_ADOBE_DEFLATE,
                                                   PHOTOMETRIC_MINISBLACK, 200000000, 4000));
  EXPECT_FALSE(LoadPageImage(page));
  EXPECT_EQ(ConvertPageToPng(page, png), PngPageOutcome::kPageUnreadable);
  // The same layouts within the limits are read.
  WriteBlankTiff(page, 4000, 1000, ORIENTATION_BOTLEFT);
  EXPECT_TRUE(LoadPageImage(page));
  EXPECT_EQ(ConvertPageToPng(page, png), PngPageOutcome::kWritten);
}

// Hand-made strip and tile tables no writer makes. Strips that share bytes
// once let a 5 KB file decode the whole 512 MiB limit (seconds in either
// output), and a tile offset table shorter than the tiles once drew a page
// from the file's own header; both outputs refuse them in the same opener.
TEST(PageReaders, BothOutputsRefuseStripsAndTilesTheFileDoesNotHold) {
  using test::TiffField;
  constexpr std::uint32_t kAt = test::kHandMadeDataOffset;
  // An 8-bit grey Deflate page of `strips` strips of `width` x `rows` with the given tables.
  auto stripped = [](std::uint32_t width, std::uint32_t rows, std::uint32_t strips, std::vector<std::uint32_t> offsets,
                     std::vector<std::uint32_t> byteCounts, const std::string& data) {
    const std::uint32_t height = rows * strips;
    return test::TiffWithFields({{256, 4, {width}},
                                 {257, 4, {height}},
                                 {258, 3, {8}},
                                 {259, 3, {COMPRESSION_ADOBE_DEFLATE}},
                                 {262, 3, {PHOTOMETRIC_MINISBLACK}},
                                 {273, 4, std::move(offsets)},
                                 {277, 3, {1}},
                                 {278, 4, {rows}},
                                 {279, 4, std::move(byteCounts)}},
                                data);
  };
  const std::string strip = test::DeflatedZeros(64 * 16);
  const auto n = static_cast<std::uint32_t>(strip.size());
  const std::string bomb = test::DeflatedZeros(8192 * 128);
  const auto b = static_cast<std::uint32_t>(bomb.size());
  // A white bilevel row coded in G4 is one bit: 16384 rows of 65536 pixels, 128 MiB, in 2 KB.
  const std::string whiteRows(16384 / 8, '\xff');
  auto g4 = [&](std::uint32_t height) {
    return test::TiffWithFields({{256, 4, {65536}},
                                 {257, 4, {height}},
                                 {258, 3, {1}},
                                 {259, 3, {COMPRESSION_CCITTFAX4}},
                                 {262, 3, {PHOTOMETRIC_MINISWHITE}},
                                 {273, 4, {kAt}},
                                 {277, 3, {1}},
                                 {278, 4, {height}},
                                 {279, 4, {static_cast<std::uint32_t>(whiteRows.size())}}},
                                whiteRows);
  };
  const struct {
    const char* what;
    std::string file;
    bool read;
  } cases[] = {
      {"two strips in order", stripped(64, 16, 2, {kAt, kAt + n}, {n, n}, strip + strip), true},
      {"two strips, the second stored first", stripped(64, 16, 2, {kAt + n, kAt}, {n, n}, strip + strip), true},
      {"512 strips sharing one strip's bytes",
       stripped(8192, 128, 512, std::vector<std::uint32_t>(512, kAt), std::vector<std::uint32_t>(512, b), bomb), false},
      {"the second strip starting inside the first",
       stripped(64, 16, 2, {kAt, kAt + n - 1}, {n, n}, strip + strip), false},
      {"the first strip starting inside the second, which is stored first",
       stripped(64, 16, 2, {kAt + n - 1, kAt}, {n, n}, strip + strip), false},
      {"a strip of no bytes", stripped(64, 16, 2, {kAt, kAt + n}, {n, 0}, strip + strip), false},
      {"a strip at offset 0", stripped(64, 16, 2, {kAt, 0}, {n, n}, strip + strip), false},
      {"fewer byte counts than strips", stripped(64, 16, 2, {kAt, kAt + n}, {n}, strip + strip), false},
      {"more offsets than strips", stripped(64, 16, 1, {kAt, kAt + n}, {n}, strip + strip), false},
      // 36 tiles of 16384 x 256, one offset: libtiff makes the others 0.
      {"a tile offset table shorter than the tiles",
       test::TiffWithFields({{256, 4, {65301}},
                             {257, 4, {2049}},
                             {258, 3, {1}},
                             {259, 3, {COMPRESSION_CCITTFAX4}},
                             {262, 3, {PHOTOMETRIC_MINISWHITE}},
                             {277, 3, {1}},
                             {322, 4, {16384}},
                             {323, 4, {256}},
                             {324, 4, {kAt}},
                             {325, 3, std::vector<std::uint32_t>(36, 60)}},
                            std::string(16, '\0')),
       false},
      {"no strip byte counts",
       test::TiffWithFields({{256, 4, {64}}, {257, 4, {16}}, {258, 3, {8}}, {259, 3, {COMPRESSION_ADOBE_DEFLATE}},
                             {262, 3, {PHOTOMETRIC_MINISBLACK}}, {273, 4, {kAt}}, {277, 3, {1}}},
                            strip),
       false},
      {"64 MiB of white rows from 1 KB", g4(8192), true},
      {"128 MiB of white rows from 2 KB", g4(16384), false},
  };
  TempDir dir;
  const std::string page = dir / "page.tif", png = dir / "page.PNG";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bidder::test::WriteFile(page, c.file);
    EXPECT_EQ(LoadPageImage(page).has_value(), c.read) << "PDF";
    EXPECT_EQ(ConvertPageToPng(page, png), c.read ? PngPageOutcome::kWritten : PngPageOutcome::kPageUnreadable)
        << "PNG";
    std::filesystem::remove(png);
  }
}

}  // namespace
}  // namespace folvane
