#include "pagefile/page_layout.h"

#include "pagefile/tiff_field.h"

namespace folvane {

int PageLayout::ColourSamples() const {
  switch (colour) {
    case PageColour::kRgb:
    case PageColour::kYCbCr: return 3;
    case PageColour::kCmyk: return 4;
    default: return 1;
  }
}

bool PageLayout::SamplesAsStored() const {
  if (!unsignedSamples) return false;
  if (colour == PageColour::kRgb) return samplesPerPixel == 3 && bitsPerSample == 8 && contiguous;
  const bool depth = bitsPerSample == 1 || bitsPerSample == 2 || bitsPerSample == 4 || bitsPerSample == 8;
  if (samplesPerPixel != 1 || !depth) return false;
  return colour == PageColour::kGrey || (colour == PageColour::kPalette && !colourMap.empty());
}

PageLayout ReadPageLayout(const PageTiff& page) {
  TIFF* tif = page.Tiff();
  PageLayout layout;
  layout.bitsPerSample = Defaulted<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE, 1);
  layout.samplesPerPixel = Defaulted<std::uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  layout.contiguous = Defaulted<std::uint16_t>(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == PLANARCONFIG_CONTIG;
  layout.unsignedSamples = Defaulted<std::uint16_t>(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) == SAMPLEFORMAT_UINT;
  layout.compression = Defaulted<std::uint16_t>(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  layout.msbFirst = Defaulted<std::uint16_t>(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) == FILLORDER_MSB2LSB;
  // Only the codecs with a predictor know the tag.
  std::uint16_t predictor = 1;
  if (TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor)) layout.predictor = predictor;

  std::uint16_t photometric = 0;
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return layout;
  switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
      layout.minIsWhite = true;
      [[fallthrough]];
    case PHOTOMETRIC_MINISBLACK:
      layout.colour = PageColour::kGrey;
      break;
    case PHOTOMETRIC_PALETTE:
      layout.colour = PageColour::kPalette;
      layout.colourMap = ReadColourMap(tif, layout.bitsPerSample);
      break;
    case PHOTOMETRIC_RGB:
      layout.colour = PageColour::kRgb;
      break;
    case PHOTOMETRIC_SEPARATED:
      if (Defaulted<std::uint16_t>(tif, TIFFTAG_INKSET, INKSET_CMYK) == INKSET_CMYK) layout.colour = PageColour::kCmyk;
      break;
    case PHOTOMETRIC_YCBCR:
      layout.colour = PageColour::kYCbCr;
      break;
    default:
      break;
  }
  return layout;
}

std::vector<std::uint8_t> ReadColourMap(TIFF* tif, int bitsPerSample) {
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (bitsPerSample < 1 || bitsPerSample > 8) return {};
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) return {};
  const std::size_t entries = std::size_t{1} << bitsPerSample;
  bool sixteenBit = false;
  for (std::size_t i = 0; i < entries; ++i) sixteenBit |= red[i] > 255 || green[i] > 255 || blue[i] > 255;
  const int shift = sixteenBit ? 8 : 0;
  std::vector<std::uint8_t> rgb(entries * 3);
  for (std::size_t i = 0; i < entries; ++i) {
    rgb[i * 3] = static_cast<std::uint8_t>(red[i] >> shift);
    rgb[i * 3 + 1] = static_cast<std::uint8_t>(green[i] >> shift);
    rgb[i * 3 + 2] = static_cast<std::uint8_t>(blue[i] >> shift);
  }
  return rgb;
}

}  // namespace folvane
