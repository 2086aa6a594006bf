#pragma once
// TIFF files made for tests, with deterministic scan-like content, and the
// pixels a PDF reader must show for them (8-bit RGB, row by row).
#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace folvane::test {

struct TiffSpec {
  std::uint32_t width = 64;
  std::uint32_t height = 48;
  std::uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  std::uint16_t bitsPerSample = 8;
  std::uint16_t samplesPerPixel = 1;  // colour samples plus any extra (alpha) sample
  std::uint16_t compression = COMPRESSION_ADOBE_DEFLATE;
  std::uint16_t predictor = 1;
  int zipQuality = -1;               // -1: libtiff's default
  std::uint32_t rowsPerStrip = 0;     // 0: the whole image in one strip
  std::uint16_t fillOrder = FILLORDER_MSB2LSB;
  bool writeResolution = true;
  float xResolution = 300;
  float yResolution = 300;
  std::uint16_t resolutionUnit = RESUNIT_INCH;
  // Palette entries scaled as v * 257 (libtiff's convention) or as v << 8.
  bool paletteShifted = false;
  unsigned seed = 1;
};

struct ExpectedImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3
};

// Writes the file; returns the pixels it shows. Throws std::runtime_error when
// libtiff refuses.
ExpectedImage WriteTiffFixture(const std::string& path, const TiffSpec& spec);

}  // namespace folvane::test
