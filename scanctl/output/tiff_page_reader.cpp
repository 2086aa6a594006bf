#include "output/tiff_page_reader.h"

#include <algorithm>

#include "acquire/tiff_file.h"

namespace folvane {
namespace {

// libpng's own default limit on a PNG's width and height.
constexpr std::uint32_t kMaxSide = 1000000;
// Rows decoded at once by the generic path, and the memory they may take.
constexpr std::uint32_t kPreferredBandRows = 64;
constexpr std::uint64_t kPreferredBandBytes = std::uint64_t{16} * 1024 * 1024;
constexpr std::uint64_t kMaxBandBytes = std::uint64_t{256} * 1024 * 1024;

int Channels(RowColour c) {
  switch (c) {
    case RowColour::kRgb: return 3;
    case RowColour::kRgba: return 4;
    default: return 1;
  }
}

// Decodes with TIFFReadScanline into the caller's row: the page files' own
// layouts (one sample per pixel, or contiguous 8-bit RGB), MinIsWhite
// turned into grey by inverting the bits.
class ScanlineReader final : public TiffPageReader {
 public:
  ScanlineReader(TiffPtr tif, RowFormat format, bool invert) : tif_(std::move(tif)), invert_(invert) {
    format_ = std::move(format);
  }
  bool ReadRow(std::uint8_t* row) override {
    if (next_ >= format_.height) return false;
    if (TIFFReadScanline(tif_.get(), row, next_, 0) < 0) return false;
    ++next_;
    if (invert_) {
      for (std::size_t i = 0, n = format_.RowBytes(); i < n; ++i) row[i] = static_cast<std::uint8_t>(~row[i]);
    }
    return true;
  }

 private:
  TiffPtr tif_;
  bool invert_;
  std::uint32_t next_ = 0;
};

// Everything else libtiff can decode (tiles, separate planes, YCbCr, CMYK,
// 16-bit samples, other orientations): libtiff's RGBA conversion, a band of
// whole strips or tiles at a time, so each strip is decoded once.
class RgbaBandReader final : public TiffPageReader {
 public:
  ~RgbaBandReader() override {
    if (begun_) TIFFRGBAImageEnd(&image_);
  }

  static std::unique_ptr<TiffPageReader> Open(TiffPtr tif, std::uint32_t width, std::uint32_t height) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif.get(), message)) return nullptr;
    std::unique_ptr<RgbaBandReader> r(new RgbaBandReader);
    r->tif_ = std::move(tif);
    if (!TIFFRGBAImageBegin(&r->image_, r->tif_.get(), 1, message)) return nullptr;
    r->begun_ = true;
    r->image_.req_orientation = ORIENTATION_TOPLEFT;

    std::uint32_t unit = 0;
    if (TIFFIsTiled(r->tif_.get())) TIFFGetField(r->tif_.get(), TIFFTAG_TILELENGTH, &unit);
    else TIFFGetFieldDefaulted(r->tif_.get(), TIFFTAG_ROWSPERSTRIP, &unit);
    unit = std::clamp<std::uint32_t>(unit, 1, height);
    // Whole strips or tile rows, enough for some 64 rows while that stays
    // small; one strip alone may take up to the hard limit.
    const std::uint64_t unitBytes = std::uint64_t{width} * unit * 4;
    if (unitBytes > kMaxBandBytes) return nullptr;
    const std::uint64_t units = std::clamp<std::uint64_t>(kPreferredBandBytes / unitBytes, 1,
                                                          (std::uint64_t{kPreferredBandRows} + unit - 1) / unit);
    const std::uint64_t rows = std::min<std::uint64_t>(height, units * unit);
    r->bandRows_ = static_cast<std::uint32_t>(rows);
    r->band_.reset(new std::uint32_t[static_cast<std::size_t>(std::uint64_t{width} * rows)]());

    r->format_.width = width;
    r->format_.height = height;
    r->format_.bitDepth = 8;
    r->format_.colour = r->image_.alpha ? RowColour::kRgba : RowColour::kRgb;
    return r;
  }

  bool ReadRow(std::uint8_t* row) override {
    const std::uint32_t width = format_.width;
    if (next_ >= format_.height) return false;
    if (next_ >= bandStart_ + bandFilled_) {
      const std::uint32_t rows = std::min(bandRows_, format_.height - next_);
      image_.row_offset = static_cast<int>(next_);
      image_.col_offset = 0;
      if (!TIFFRGBAImageGet(&image_, band_.get(), width, rows)) return false;
      bandStart_ = next_;
      bandFilled_ = rows;
    }
    const std::uint32_t* in = band_.get() + std::size_t{next_ - bandStart_} * width;
    const bool alpha = format_.colour == RowColour::kRgba;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t r = TIFFGetR(in[x]), g = TIFFGetG(in[x]), b = TIFFGetB(in[x]), a = TIFFGetA(in[x]);
      if (!alpha || a == 255) {
        *row++ = static_cast<std::uint8_t>(r);
        *row++ = static_cast<std::uint8_t>(g);
        *row++ = static_cast<std::uint8_t>(b);
        if (alpha) *row++ = 255;
        continue;
      }
      // libtiff hands out colours multiplied by alpha; PNG keeps them apart.
      auto unmultiply = [a](std::uint32_t c) {
        return static_cast<std::uint8_t>(a == 0 ? 0 : std::min<std::uint32_t>(255, (c * 255 + a / 2) / a));
      };
      *row++ = unmultiply(r);
      *row++ = unmultiply(g);
      *row++ = unmultiply(b);
      *row++ = static_cast<std::uint8_t>(a);
    }
    ++next_;
    return true;
  }

 private:
  RgbaBandReader() = default;
  TiffPtr tif_;
  TIFFRGBAImage image_{};
  bool begun_ = false;
  std::unique_ptr<std::uint32_t[]> band_;
  std::uint32_t bandRows_ = 0, bandStart_ = 0, bandFilled_ = 0, next_ = 0;
};

// The colour map as 8-bit values. Some writers store 8-bit values in the
// 16-bit entries; a map with no entry above 255 is read that way.
std::vector<RowFormat::Rgb> ReadColourMap(TIFF* tif, int bitDepth) {
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue) return {};
  const std::size_t entries = std::size_t{1} << bitDepth;
  bool sixteenBit = false;
  for (std::size_t i = 0; i < entries; ++i) sixteenBit |= red[i] > 255 || green[i] > 255 || blue[i] > 255;
  const int shift = sixteenBit ? 8 : 0;
  std::vector<RowFormat::Rgb> palette(entries);
  for (std::size_t i = 0; i < entries; ++i) {
    palette[i] = {static_cast<std::uint8_t>(red[i] >> shift), static_cast<std::uint8_t>(green[i] >> shift),
                  static_cast<std::uint8_t>(blue[i] >> shift)};
  }
  return palette;
}

}  // namespace

std::size_t RowFormat::RowBytes() const {
  return static_cast<std::size_t>((std::uint64_t{width} * static_cast<unsigned>(bitDepth * Channels(colour)) + 7) / 8);
}

std::unique_ptr<TiffPageReader> TiffPageReader::Open(const std::string& path) {
  TiffPtr tif = OpenTiffQuietly(path, "r");
  if (!tif) return nullptr;
  TIFF* t = tif.get();
  std::uint32_t width = 0, height = 0;
  if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height)) return nullptr;
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;

  std::uint16_t compression = COMPRESSION_NONE, samples = 1, bits = 1, planar = PLANARCONFIG_CONTIG;
  std::uint16_t orientation = ORIENTATION_TOPLEFT, photometric = 0;
  TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
  if (!TIFFIsCODECConfigured(compression)) return nullptr;
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
  const bool hasPhotometric = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) != 0;

  RowFormat format;
  format.width = width;
  format.height = height;
  format.bitDepth = bits;
  bool own = hasPhotometric && !TIFFIsTiled(t) && orientation == ORIENTATION_TOPLEFT;
  bool invert = false;
  if (own && samples == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) {
    if (photometric == PHOTOMETRIC_MINISBLACK) {
      format.colour = RowColour::kGrey;
    } else if (photometric == PHOTOMETRIC_MINISWHITE) {
      format.colour = RowColour::kGrey;
      invert = true;
    } else if (photometric == PHOTOMETRIC_PALETTE) {
      format.colour = RowColour::kPalette;
      format.palette = ReadColourMap(t, bits);
      own = !format.palette.empty();
    } else {
      own = false;
    }
  } else if (own && samples == 3 && bits == 8 && planar == PLANARCONFIG_CONTIG && photometric == PHOTOMETRIC_RGB) {
    format.colour = RowColour::kRgb;
  } else {
    own = false;
  }
  if (own && static_cast<std::uint64_t>(TIFFScanlineSize64(t)) == format.RowBytes()) {
    return std::make_unique<ScanlineReader>(std::move(tif), std::move(format), invert);
  }
  return RgbaBandReader::Open(std::move(tif), width, height);
}

}  // namespace folvane
