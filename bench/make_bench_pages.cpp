// make_bench_pages DIR COUNT: writes COUNT scanned-looking A4 pages at 300 dpi
// into DIR as 0.tif, 1.tif, ... the way the control stores scanned pages:
// 1-bit pages as one strip of CCITT G4, grey and colour pages as one strip of
// Deflate with the horizontal predictor at a fast level. The mix is that of a
// tender document: mostly black-and-white text, some grey, some colour
// (stamps, photos, charts).
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pagefile/page_tiff.h"
#include "synthetic/scan_noise.h"

namespace {

constexpr std::uint32_t kWidth = 2480, kHeight = 3508;  // A4 at 300 dpi

using bidder::synthetic::ScanNoise;

// Ink coverage of a text page: lines of glyph-sized blocks in margins.
bool Ink(std::uint32_t x, std::uint32_t y, unsigned page) {
  if (x < 240 || x >= kWidth - 240 || y < 300 || y >= kHeight - 300) return false;
  const std::uint32_t line = y / 50, inLine = y % 50;
  if (inLine < 12 || inLine > 40) return false;
  const std::uint32_t glyph = (x + line * 17 + page * 31) / 36, inGlyph = (x + line * 17 + page * 31) % 36;
  if ((glyph * 7 + line * 3 + page) % 9 == 0) return false;  // spaces between words
  if (inGlyph > 30) return false;
  return ((inGlyph * 5 + inLine * 3 + glyph) % 7) < 3 || inGlyph < 4 || inLine > 36;
}

enum class Kind { kBilevel, kGrey, kColour };

Kind KindOf(unsigned page) {
  const unsigned slot = page % 10;
  return slot < 6 ? Kind::kBilevel : slot < 8 ? Kind::kGrey : Kind::kColour;
}

bool WritePage(const std::string& path, unsigned page) {
  folvane::TiffPtr tif(TIFFOpen(path.c_str(), "w"));
  if (!tif) return false;
  TIFF* t = tif.get();
  const Kind kind = KindOf(page);
  const std::uint16_t samples = kind == Kind::kColour ? 3 : 1;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, kind == Kind::kBilevel ? 1 : 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kHeight);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0f);
  TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0f);
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (kind == Kind::kBilevel) {
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  } else {
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, kind == Kind::kGrey ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ZIPQUALITY, 1);
  }
  ScanNoise noise = ScanNoise::Seeded(page + 1, 1);
  std::vector<std::uint8_t> row(kind == Kind::kBilevel ? (kWidth + 7) / 8 : std::size_t{kWidth} * samples);
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const bool ink = Ink(x, y, page);
      if (kind == Kind::kBilevel) {
        // A little speckle, as thresholded scans have.
        if (ink || noise.Next() % 20000 == 0) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        continue;
      }
      // Paper with sensor noise; ink with soft edges; a photo block on colour pages.
      int level = ink ? 40 + static_cast<int>(noise.Next() % 24) : 236 + static_cast<int>(noise.Next() % 7);
      if (kind == Kind::kGrey) {
        row[x] = static_cast<std::uint8_t>(level);
        continue;
      }
      int r = level, g = level, b = level - 4;
      const bool photo = x > 1400 && x < 2200 && y > 2400 && y < 3100;
      const int dx = static_cast<int>(x) - 1900, dy = static_cast<int>(y) - 600;
      const bool stamp = dx * dx + dy * dy < 250 * 250 && !ink;
      if (photo) {
        r = static_cast<int>((x * 255 / kWidth + noise.Next() % 9) & 0xFF);
        g = static_cast<int>((y * 255 / kHeight + noise.Next() % 9) & 0xFF);
        b = static_cast<int>(((x + y) / 20 + noise.Next() % 9) & 0xFF);
      } else if (stamp) {
        r = 200 + static_cast<int>(noise.Next() % 20);
        g = 40 + static_cast<int>(noise.Next() % 20);
        b = 40 + static_cast<int>(noise.Next() % 20);
      }
      row[x * 3] = static_cast<std::uint8_t>(r);
      row[x * 3 + 1] = static_cast<std::uint8_t>(g);
      row[x * 3 + 2] = static_cast<std::uint8_t>(b < 0 ? 0 : b);
    }
    if (TIFFWriteScanline(t, row.data(), y, 0) < 0) return false;
  }
  return TIFFWriteDirectory(t) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_bench_pages DIR COUNT\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int count = std::stoi(argv[2]);
  for (int i = 0; i < count; ++i) {
    const std::string path = dir + "/" + std::to_string(i) + ".tif";
    if (!WritePage(path, static_cast<unsigned>(i))) {
      std::fprintf(stderr, "make_bench_pages: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
