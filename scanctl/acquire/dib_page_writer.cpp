#include "acquire/dib_page_writer.h"

#include <vector>

#include "acquire/file_ops.h"
#include "acquire/page_resolution.h"
#include "acquire/tiff_file.h"

namespace folvane {
namespace {

// libdeflate's and zlib's fastest level: scans are noisy, and the higher
// levels cost several times the time for a few per cent of size.
constexpr int kDeflateLevel = 1;

enum class Layout { kBilevelMinIsBlack, kBilevelMinIsWhite, kGrey, kPalette, kRgb };

constexpr DibColour kBlack{0, 0, 0};
constexpr DibColour kWhite{255, 255, 255};

bool IsGreyRamp(const DibView& dib) {
  const std::size_t entries = std::size_t{1} << dib.BitsPerPixel();
  if (dib.Palette().size() != entries) return false;
  const unsigned step = 255 / static_cast<unsigned>(entries - 1);
  for (std::size_t i = 0; i < entries; ++i) {
    const auto v = static_cast<std::uint8_t>(i * step);
    if (!(dib.Palette()[i] == DibColour{v, v, v})) return false;
  }
  return true;
}

Layout ChooseLayout(const DibView& dib) {
  if (dib.BitsPerPixel() == 24) return Layout::kRgb;
  if (dib.BitsPerPixel() == 1) {
    if (dib.PaletteColour(0) == kBlack && dib.PaletteColour(1) == kWhite) return Layout::kBilevelMinIsBlack;
    if (dib.PaletteColour(0) == kWhite && dib.PaletteColour(1) == kBlack) return Layout::kBilevelMinIsWhite;
    return Layout::kPalette;
  }
  return IsGreyRamp(dib) ? Layout::kGrey : Layout::kPalette;
}

bool SetTags(TIFF* tif, const DibView& dib, Layout layout) {
  const PageResolution res = ChoosePageResolution(dib.XPelsPerMeter(), dib.YPelsPerMeter(), dib.Width(), dib.Height());
  const bool rgb = layout == Layout::kRgb;
  const bool bilevel = layout == Layout::kBilevelMinIsBlack || layout == Layout::kBilevelMinIsWhite;
  const int bitsPerSample = rgb ? 8 : static_cast<int>(dib.BitsPerPixel());
  int photometric = PHOTOMETRIC_MINISBLACK;
  if (layout == Layout::kBilevelMinIsWhite) photometric = PHOTOMETRIC_MINISWHITE;
  else if (layout == Layout::kPalette) photometric = PHOTOMETRIC_PALETTE;
  else if (rgb) photometric = PHOTOMETRIC_RGB;

  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, dib.Width()) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, dib.Height()) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bitsPerSample) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, rgb ? 3 : 1) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, dib.Height()) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, res.xDpi) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, res.yDpi) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (!ok) return false;

  if (bilevel) return TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) != 0;
  ok = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
       TIFFSetField(tif, TIFFTAG_ZIPQUALITY, kDeflateLevel);
  if (ok && bitsPerSample == 8) ok = TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (ok && layout == Layout::kPalette) {
    const std::size_t entries = std::size_t{1} << dib.BitsPerPixel();
    std::vector<std::uint16_t> red(entries), green(entries), blue(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      const DibColour c = dib.PaletteColour(i);
      red[i] = static_cast<std::uint16_t>(c.red * 257);
      green[i] = static_cast<std::uint16_t>(c.green * 257);
      blue[i] = static_cast<std::uint16_t>(c.blue * 257);
    }
    ok = TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }
  return ok;
}

// The whole image top row first, rows unpadded, 24-bit pixels as RGB. One
// call with the whole strip lets libtiff compress it with libdeflate.
std::vector<std::uint8_t> StripFrom(const DibView& dib) {
  const std::size_t rowBytes = dib.RowBytes();
  std::vector<std::uint8_t> strip(rowBytes * dib.Height());
  std::uint8_t* out = strip.data();
  for (std::uint32_t y = 0; y < dib.Height(); ++y, out += rowBytes) {
    const std::uint8_t* in = dib.Row(y);
    if (dib.BitsPerPixel() != 24) {
      std::copy(in, in + rowBytes, out);
      continue;
    }
    for (std::size_t x = 0; x < rowBytes; x += 3) {
      out[x] = in[x + 2];
      out[x + 1] = in[x + 1];
      out[x + 2] = in[x];
    }
  }
  return strip;
}

}  // namespace

bool EncodeDibAsTiff(const DibView& dib, const std::string& path) {
  TiffPtr tif = OpenTiffQuietly(path, "w");
  if (!tif) return false;
  if (!SetTags(tif.get(), dib, ChooseLayout(dib))) return false;
  std::vector<std::uint8_t> strip = StripFrom(dib);
  if (TIFFWriteEncodedStrip(tif.get(), 0, strip.data(), static_cast<tmsize_t>(strip.size())) < 0) return false;
  // Writes the directory now, where a full disk can still be seen.
  return TIFFFlush(tif.get()) != 0;
}

bool WriteDibPage(std::span<const std::uint8_t> packedDib, const std::string& path) {
  // The old file goes first, before anything can fail.
  RemoveFileIfPresent(path);
  const auto dib = DibView::Parse(packedDib);
  if (!dib) return false;
  const std::string partial = path + ".part";
  if (!EncodeDibAsTiff(*dib, partial) || !MoveFileOver(partial, path)) {
    RemoveFileIfPresent(partial);
    return false;
  }
  return true;
}

}  // namespace folvane
