#pragma once
// What a page file's samples are, read once from its directory, for both
// outputs: the colour model, how the samples are laid out, the codec details
// that decide whether a strip can go into a PDF unchanged, and the colour
// map. Each output decides from this what it can show; neither reads these
// tags itself.
#include <cstdint>
#include <vector>

#include "pagefile/page_tiff.h"

namespace folvane {

enum class PageColour {
  kGrey,     // min-is-black, or min-is-white (see PageLayout::minIsWhite)
  kPalette,  // a colour map, 2^bitsPerSample entries
  kRgb,
  kCmyk,     // separated, CMYK inks
  kYCbCr,
  kOther,    // no photometric tag, or one neither output shows as stored
};

struct PageLayout {
  PageColour colour = PageColour::kOther;
  // Grey stored with 0 as white. PageRowReader hands such rows out inverted,
  // as min-is-black grey, the one grey both outputs write.
  bool minIsWhite = false;
  std::uint16_t bitsPerSample = 1;
  std::uint16_t samplesPerPixel = 1;
  bool contiguous = true;        // one plane (PLANARCONFIG_CONTIG)
  bool unsignedSamples = true;   // SAMPLEFORMAT_UINT
  std::uint16_t compression = 1;
  bool msbFirst = true;          // FILLORDER_MSB2LSB
  std::uint16_t predictor = 1;   // 1 when the codec has none
  // kPalette: the colour map as 8-bit RGB triples; empty when the file has
  // none, which neither output can show.
  std::vector<std::uint8_t> colourMap;

  // The samples of the colour model in one pixel (extra samples, such as
  // alpha, follow them): 1 for grey and palette, 3 for RGB and YCbCr, 4 for CMYK.
  int ColourSamples() const;
  // The layouts capture writes, which both outputs take sample by sample as
  // stored: one unsigned sample of 1, 2, 4 or 8 bits (grey, or palette with
  // its map), or contiguous 8-bit RGB without extra samples.
  bool SamplesAsStored() const;
};

PageLayout ReadPageLayout(const PageTiff& page);

// The colour map as 8-bit RGB triples, 2^bitsPerSample of them; empty when
// the file has none. Most writers store 16-bit values (v * 257); some store
// 8-bit values in the 16-bit entries, so a map without an entry above 255 is
// read as 8-bit values (a 16-bit map has one unless it is all black, which
// reads the same either way).
std::vector<std::uint8_t> ReadColourMap(TIFF* tif, int bitsPerSample);

}  // namespace folvane
