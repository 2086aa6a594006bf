#include "acquire/dib_page_writer.h"

#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pagefile/file_ops.h"
#include "acquire/page_resolution.h"
#include "acquire/tiff_file.h"
#include "pagefile/page_limits.h"

namespace folvane {
namespace {

// libdeflate's fastest level: on noisy scans the higher levels take several
// times as long for a tenth of the size at most.
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

// libtiff's horizontal predictor is defined for 8-bit samples and up.
bool UsesPredictor(const DibView& dib, Layout layout) {
  return layout == Layout::kRgb || dib.BitsPerPixel() == 8;
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
  ok = TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) != 0;
  if (ok && UsesPredictor(dib, layout)) ok = TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
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

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Page-sized buffers are written in full before they are read: no zero fill,
// which costs a pass over fresh memory.
std::unique_ptr<std::uint8_t[]> Uninitialised(std::size_t size) {
  return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[size]);
}

// The whole image top row first, rows unpadded, 24-bit pixels as RGB. With
// `difference` each sample is stored minus the same sample of the pixel to its
// left (the horizontal predictor), computed straight from the bitmap.
void FillStrip(const DibView& dib, bool difference, std::uint8_t* out) {
  const std::size_t rowBytes = dib.RowBytes();
  const bool rgb = dib.BitsPerPixel() == 24;
  for (std::uint32_t y = 0; y < dib.Height(); ++y, out += rowBytes) {
    const std::uint8_t* in = dib.Row(y);
    if (!rgb && !difference) {
      std::memcpy(out, in, rowBytes);
    } else if (!rgb) {
      out[0] = in[0];
      for (std::size_t x = 1; x < rowBytes; ++x) out[x] = static_cast<std::uint8_t>(in[x] - in[x - 1]);
    } else {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      const std::size_t step = difference ? 3 : 0;
      for (std::size_t x = 3; x < rowBytes; x += 3) {
        out[x] = static_cast<std::uint8_t>(in[x + 2] - (difference ? in[x + 2 - step] : 0));
        out[x + 1] = static_cast<std::uint8_t>(in[x + 1] - (difference ? in[x + 1 - step] : 0));
        out[x + 2] = static_cast<std::uint8_t>(in[x] - (difference ? in[x - step] : 0));
      }
    }
  }
}

// Deflate pages are compressed here in one call to libdeflate and handed to
// libtiff as the raw strip: libtiff's own path would copy the page twice more
// (a working copy for the predictor and an output buffer) for the same bytes.
bool WriteDeflateStrip(TIFF* tif, const DibView& dib, bool difference) {
  const std::size_t size = dib.RowBytes() * dib.Height();
  const auto strip = Uninitialised(size);
  FillStrip(dib, difference, strip.get());
  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kDeflateLevel));
  if (!compressor) return false;
  const std::size_t bound = libdeflate_zlib_compress_bound(compressor.get(), size);
  const auto compressed = Uninitialised(bound);
  const std::size_t length = libdeflate_zlib_compress(compressor.get(), strip.get(), size, compressed.get(), bound);
  return length != 0 && TIFFWriteRawStrip(tif, 0, compressed.get(), static_cast<tmsize_t>(length)) >= 0;
}

bool WriteBilevelStrip(TIFF* tif, const DibView& dib) {
  const std::size_t size = dib.RowBytes() * dib.Height();
  const auto strip = Uninitialised(size);
  FillStrip(dib, false, strip.get());
  return TIFFWriteEncodedStrip(tif, 0, strip.get(), static_cast<tmsize_t>(size)) >= 0;
}

// Whether the page file just written stores enough bytes for what it decodes
// to: a huge blank bilevel page compresses beyond what the outputs accept.
bool StoredBytesWithinLimits(const DibView& dib, const std::string& path) {
  const TiffPtr tif = OpenTiffQuietly(path, "r");
  if (!tif || TIFFNumberOfStrips(tif.get()) == 0) return false;
  std::uint64_t stored = 0;
  for (std::uint32_t i = 0; i < TIFFNumberOfStrips(tif.get()); ++i) {
    int error = 0;
    stored += TIFFGetStrileByteCountWithErr(tif.get(), i, &error);
    if (error) return false;
  }
  return StoredBytesSuffice(DecodedPageBytes(dib.Width(), dib.Height(), dib.BitsPerPixel()), stored);
}

}  // namespace

bool EncodeDibAsTiff(const DibView& dib, const std::string& path) {
  TiffPtr tif = OpenTiffQuietly(path, "w");
  if (!tif) return false;
  const Layout layout = ChooseLayout(dib);
  if (!SetTags(tif.get(), dib, layout)) return false;
  const bool written = layout == Layout::kBilevelMinIsBlack || layout == Layout::kBilevelMinIsWhite
                           ? WriteBilevelStrip(tif.get(), dib)
                           : WriteDeflateStrip(tif.get(), dib, UsesPredictor(dib, layout));
  // Writes the directory now, where a full disk can still be seen.
  return written && TIFFFlush(tif.get()) != 0;
}

bool WriteDibPage(std::span<const std::uint8_t> packedDib, const std::string& path) noexcept {
  // The old file goes first, before anything can fail.
  RemoveFileIfPresent(path);
  std::string partial;
  try {
    const auto dib = DibView::Parse(packedDib);
    // Stored pixels are as deep as the bitmap's (24-bit pixels as 3 x 8 bits).
    if (!dib || !PageSizeWithinLimits(dib->Width(), dib->Height(), dib->BitsPerPixel())) return false;
    partial = path + ".part";
    if (EncodeDibAsTiff(*dib, partial) && StoredBytesWithinLimits(*dib, partial) && MoveFileOver(partial, path))
      return true;
  } catch (const std::bad_alloc&) {
    // A page larger than the memory left: the page is lost like one that
    // cannot be written, and the scan goes on. (The libtiff handle is closed
    // by now, so the partial file can go.)
  }
  if (!partial.empty()) RemoveFileIfPresent(partial);
  return false;
}

}  // namespace folvane
