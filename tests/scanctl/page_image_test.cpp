// Reading page files: which ones pass their compressed data through, and
// that hostile files are refused without a crash.
#include <gtest/gtest.h>

#include <cstring>

#include "fixture_cases.h"
#include "output/page_image.h"
#include "page_stream_bytes.h"
#include "support/temp_dir.h"

namespace folvane {
namespace {

using test::FixtureCases;
using bidder::test::TempDir;
using test::HandMadeTiff;

TEST(LoadPageImage, PassesThroughOneStripOfG4OrDeflateAndReencodesTheRest) {
  TempDir dir;
  for (const auto& c : FixtureCases()) {
    const std::string path = dir / "page.tif";
    test::WriteTiffFixture(path, c.spec);
    const auto image = LoadPageImage(path);
    ASSERT_TRUE(image) << c.name;
    EXPECT_EQ(image->passedThrough, c.passedThrough) << c.name;
    EXPECT_EQ(image->width, c.spec.width) << c.name;
    EXPECT_EQ(image->height, c.spec.height) << c.name;
    const std::vector<std::uint8_t> stream = test::StreamBytes(*image);
    EXPECT_FALSE(stream.empty()) << c.name;
    if (c.passedThrough) {  // unchanged: the stream holds exactly the strip's bytes
      TIFF* tif = TIFFOpen(path.c_str(), "r");
      ASSERT_TRUE(tif) << c.name;
      std::vector<std::uint8_t> strip(static_cast<std::size_t>(TIFFGetStrileByteCount(tif, 0)));
      const tmsize_t read = TIFFReadRawStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
      TIFFClose(tif);
      EXPECT_EQ(read, static_cast<tmsize_t>(strip.size())) << c.name;
      EXPECT_TRUE(stream == strip) << c.name;
      EXPECT_EQ(image->encoding == PdfImageEncoding::kCcittG4, c.spec.compression == COMPRESSION_CCITTFAX4) << c.name;
      EXPECT_EQ(image->tiffPredictor, c.spec.predictor == 2) << c.name;
    }
  }
}

TEST(LoadPageImage, RefusesWhatIsNoReadableImage) {
  TempDir dir;
  test::TiffFixture valid;
  valid.width = 500;
  valid.height = 400;
  const std::string validPath = dir / "valid.tif";
  test::WriteTiffFixture(validPath, valid);
  const std::string validBytes = bidder::test::ReadFile(validPath);

  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"text", "this is a note someone saved as 3.tif\n"},
      {"another format", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, 'x')},
      {"tiff header only", std::string("II*\0\x08\0\0\0", 8)},
      {"cut-off tiff", validBytes.substr(0, validBytes.size() / 2)},
      {"g4 strip larger than the file", HandMadeTiff(800, 600, 1, 1, 4, 0, 0x7FFFFFF0u, 100)},
      {"deflate strip larger than the file", HandMadeTiff(800, 600, 8, 1, 8, 1, 0xFFFFFFF0u, 100)},
      {"four billion pixels wide", HandMadeTiff(0xF0000000u, 10, 1, 1, 4, 0, 50, 50)},
      {"decoded size over the cap", HandMadeTiff(100000, 100000, 8, 1, 8, 1, 50, 50)},
      {"rows missing from an uncompressed strip", HandMadeTiff(5000, 5000, 8, 3, 1, 2, 75000000, 1000)},
      {"deflate strip that is no zlib data", HandMadeTiff(10, 10, 8, 1, 8, 1, 100, 100)},
      {"16-bit grey", HandMadeTiff(10, 10, 16, 1, 1, 1, 200, 200)},
      {"ycbcr without jpeg", HandMadeTiff(10, 10, 8, 3, 1, 6, 300, 300)},
      {"rgb of 4-bit samples", HandMadeTiff(10, 10, 4, 3, 1, 2, 150, 150)},
      {"photometric of no kind", HandMadeTiff(10, 10, 8, 1, 1, 99, 100, 100)},
  };
  for (const auto& c : cases) {
    const std::string path = dir / "page.tif";
    bidder::test::WriteFile(path, c.bytes);
    EXPECT_FALSE(LoadPageImage(path)) << c.what;
  }
  EXPECT_FALSE(LoadPageImage(dir / "missing.tif"));
  EXPECT_FALSE(LoadPageImage(dir.path().string())) << "a directory";
  // The hand-made layout itself is sound: the same file with honest sizes loads.
  bidder::test::WriteFile(dir / "honest.tif", HandMadeTiff(10, 10, 8, 1, 1, 1, 100, 100));
  EXPECT_TRUE(LoadPageImage(dir / "honest.tif"));
}


// Damaged copies of real page files (bytes overwritten, files cut short):
// each is read or refused, never a crash or a runaway allocation (the
// sanitizer build watches the reads).
TEST(LoadPageImage, SurvivesDamagedPageFiles) {
  TempDir dir;
  const std::string source = dir / "source.tif", damaged = dir / "damaged.tif";
  const test::TiffFixture kinds[] = {
      test::Spec(200, 60, PHOTOMETRIC_MINISWHITE, 1, 1, COMPRESSION_CCITTFAX4),
      test::Spec(90, 40, PHOTOMETRIC_RGB, 8, 3, COMPRESSION_ADOBE_DEFLATE, 2),
      test::Spec(70, 30, PHOTOMETRIC_PALETTE, 4, 1, COMPRESSION_LZW),
  };
  unsigned state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u, state >> 8; };
  int loaded = 0, refused = 0;
  for (const auto& kind : kinds) {
    test::WriteTiffFixture(source, kind);
    const std::string bytes = bidder::test::ReadFile(source);
    for (int variant = 0; variant < 150; ++variant) {
      std::string copy = bytes;
      if (variant % 3 == 0) {
        copy.resize(next() % copy.size());
      } else {
        for (int flips = 1 + next() % 4; flips > 0; --flips) copy[next() % copy.size()] = static_cast<char>(next());
      }
      bidder::test::WriteFile(damaged, copy);
      (LoadPageImage(damaged) ? loaded : refused)++;
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace folvane
