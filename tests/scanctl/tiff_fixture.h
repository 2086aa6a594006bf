#pragma once
// TIFF files made for tests, with deterministic scan-like content, and the
// pixels a PDF reader must show for them (8-bit RGB, row by row).
#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace folvane::test {

struct TiffFixture {
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
  // Palette entries scaled as v * 257 (libtiff's convention) or as v << 8,
  // or stored as the 8-bit values themselves (as some writers do).
  bool paletteShifted = false;
  bool paletteEightBit = false;
  // ORIENTATION_BOTLEFT stores the rows bottom row first (the tag is written
  // for any value but top-left); the picture shown is the same.
  std::uint16_t orientation = ORIENTATION_TOPLEFT;
  std::uint32_t tileSize = 0;  // square tiles of this many pixels; 0: strips
  unsigned seed = 1;
};

struct ExpectedImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3
};

// Writes the file; returns the pixels it shows. Throws std::runtime_error when
// libtiff refuses.
ExpectedImage WriteTiffFixture(const std::string& path, const TiffFixture& spec);

// A little-endian TIFF with one directory and one strip, written field by
// field, for the files libtiff itself would never write: `stripBytes` is
// what the directory claims, `dataBytes` what follows it.
std::string HandMadeTiff(std::uint32_t width, std::uint32_t height, std::uint16_t bits, std::uint16_t samples,
                         std::uint16_t compression, std::uint16_t photometric, std::uint32_t stripBytes,
                         std::size_t dataBytes);

// One field of a hand-made directory: SHORT (3) or LONG (4) values.
struct TiffField {
  std::uint16_t tag, type;
  std::vector<std::uint32_t> values;
};

// A little-endian TIFF with one directory of `fields` (any order; written
// sorted by tag), for files whose strip or tile tables no writer makes:
// `data` sits at offset kHandMadeDataOffset, the directory and the values
// that do not fit in an entry after it.
inline constexpr std::uint32_t kHandMadeDataOffset = 8;
std::string TiffWithFields(std::vector<TiffField> fields, const std::string& data);

// A Deflate stream of `bytes` zero bytes, as a strip holds it.
std::string DeflatedZeros(std::size_t bytes);

}  // namespace folvane::test
