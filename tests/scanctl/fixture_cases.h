#pragma once
// The kinds of page file the PDF output meets: those the control writes
// (one strip of G4 or Deflate with predictor) and those another program may
// have left under a page file's name.
#include <vector>

#include "tiff_fixture.h"

namespace folvane::test {

struct FixtureCase {
  const char* name;
  TiffFixture spec;
  bool passedThrough;  // the compressed strip goes into the PDF unchanged
  double xDpi, yDpi;   // the resolution the page must be sized by
};

inline TiffFixture Spec(std::uint32_t width, std::uint32_t height, std::uint16_t photometric, std::uint16_t bits,
                     std::uint16_t samples, std::uint16_t compression, std::uint16_t predictor = 1) {
  TiffFixture s;
  s.width = width;
  s.height = height;
  s.photometric = photometric;
  s.bitsPerSample = bits;
  s.samplesPerPixel = samples;
  s.compression = compression;
  s.predictor = predictor;
  return s;
}

inline std::vector<FixtureCase> FixtureCases() {
  constexpr std::uint16_t kWhite = PHOTOMETRIC_MINISWHITE, kBlack = PHOTOMETRIC_MINISBLACK,
                          kPalette = PHOTOMETRIC_PALETTE, kRgb = PHOTOMETRIC_RGB;
  constexpr std::uint16_t kG4 = COMPRESSION_CCITTFAX4, kZip = COMPRESSION_ADOBE_DEFLATE, kLzw = COMPRESSION_LZW,
                          kNone = COMPRESSION_NONE, kPackBits = COMPRESSION_PACKBITS;
  std::vector<FixtureCase> cases = {
      {"g4 min-is-white, odd width", Spec(1001, 77, kWhite, 1, 1, kG4), true, 300, 300},
      {"g4 min-is-black", Spec(640, 50, kBlack, 1, 1, kG4), true, 300, 300},
      {"grey deflate+predictor, odd width", Spec(333, 41, kBlack, 8, 1, kZip, 2), true, 300, 300},
      {"grey deflate", Spec(101, 30, kBlack, 8, 1, kZip), true, 300, 300},
      {"grey 4-bit deflate", Spec(77, 21, kBlack, 4, 1, kZip), true, 300, 300},
      {"palette 8-bit deflate+predictor", Spec(257, 31, kPalette, 8, 1, kZip, 2), true, 300, 300},
      {"palette 4-bit deflate, v<<8 entries", Spec(99, 20, kPalette, 4, 1, kZip), true, 300, 300},
      {"rgb deflate+predictor, odd width", Spec(123, 45, kRgb, 8, 3, kZip, 2), true, 300, 300},
      {"rgb deflate", Spec(64, 16, kRgb, 8, 3, kZip), true, 300, 300},
      {"rgb deflate, several strips", Spec(123, 45, kRgb, 8, 3, kZip, 2), false, 300, 300},
      {"g4, several strips", Spec(301, 64, kWhite, 1, 1, kG4), false, 300, 300},
      {"g4, reversed bit order", Spec(129, 20, kWhite, 1, 1, kG4), false, 300, 300},
      {"rgb lzw+predictor", Spec(95, 33, kRgb, 8, 3, kLzw, 2), false, 300, 300},
      {"grey uncompressed", Spec(97, 23, kBlack, 8, 1, kNone), false, 300, 300},
      {"grey min-is-white uncompressed", Spec(50, 20, kWhite, 8, 1, kNone), false, 300, 300},
      {"bilevel min-is-white deflate", Spec(203, 17, kWhite, 1, 1, kZip), false, 300, 300},
      {"rgb with alpha, uncompressed", Spec(41, 13, kRgb, 8, 4, kNone), false, 300, 300},
      {"palette packbits", Spec(60, 10, kPalette, 8, 1, kPackBits), false, 300, 300},
      {"no resolution", Spec(200, 100, kWhite, 1, 1, kG4), true, 72, 72},
      {"resolution 0", Spec(200, 100, kBlack, 8, 1, kZip, 2), true, 72, 72},
      {"resolution per centimetre", Spec(236, 118, kWhite, 1, 1, kG4), true, 299.72, 149.86},
      {"200 by 100 dpi", Spec(400, 100, kRgb, 8, 3, kZip, 2), true, 200, 100},
      {"absurdly high resolution", Spec(90, 45, kWhite, 1, 1, kG4), true, 72, 72},
      {"1 dpi: too large a page", Spec(20000, 100, kWhite, 1, 1, kG4), true, 1, 1},
  };
  for (auto& c : cases) {
    const std::string name = c.name;
    if (name.find("several strips") != std::string::npos) c.spec.rowsPerStrip = 7;
    if (name.find("reversed bit order") != std::string::npos) c.spec.fillOrder = FILLORDER_LSB2MSB;
    if (name.find("v<<8") != std::string::npos) c.spec.paletteShifted = true;
    if (name == "no resolution") c.spec.writeResolution = false;
    if (name == "resolution 0") c.spec.xResolution = c.spec.yResolution = 0;
    if (name == "resolution per centimetre") {
      c.spec.resolutionUnit = RESUNIT_CENTIMETER;
      c.spec.xResolution = 118;
      c.spec.yResolution = 59;
    }
    if (name == "200 by 100 dpi") {
      c.spec.xResolution = 200;
      c.spec.yResolution = 100;
    }
    if (name == "absurdly high resolution") c.spec.xResolution = c.spec.yResolution = 1e12f;
    if (name.find("1 dpi") != std::string::npos) c.spec.xResolution = c.spec.yResolution = 1;
  }
  unsigned seed = 1;
  for (auto& c : cases) c.spec.seed = seed++;
  return cases;
}

}  // namespace folvane::test
