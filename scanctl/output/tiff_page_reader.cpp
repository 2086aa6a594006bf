#include "output/tiff_page_reader.h"

#include <algorithm>

#include "pagefile/page_layout.h"
#include "pagefile/page_tiff.h"

namespace folvane {
namespace {

// Rows decoded at once by the generic path, and the memory they should take
// (a single strip or row of tiles may take up to kMaxUnitBytes).
constexpr std::uint32_t kPreferredBandRows = 64;
constexpr std::uint64_t kPreferredBandBytes = std::uint64_t{16} * 1024 * 1024;

int Channels(RowColour c) {
  switch (c) {
    case RowColour::kRgb: return 3;
    case RowColour::kRgba: return 4;
    default: return 1;
  }
}

// The page files' own layouts (one sample per pixel, or contiguous 8-bit
// RGB) in strips or tiles, either way up, read as the file's own samples in
// page order (as the PDF output reads them); min-is-white as min-is-black grey.
class SampleRowReader final : public TiffPageReader {
 public:
  SampleRowReader(std::unique_ptr<PageTiff> page, RowFormat format, bool minIsWhite)
      : page_(std::move(page)), rows_(*page_, format.RowBytes(), minIsWhite) {
    format_ = std::move(format);
  }
  bool ReadRow(std::uint8_t* row) override {
    const std::uint8_t* line = rows_.Next();
    if (!line) return false;
    std::copy_n(line, format_.RowBytes(), row);
    return true;
  }

 private:
  std::unique_ptr<PageTiff> page_;
  PageRowReader rows_;
};

// Everything else libtiff can decode (separate planes, YCbCr, CMYK, 16-bit
// samples, alpha), in strips or tiles, either way up: libtiff's RGBA conversion,
// a band of whole strips or tiles at a time, so each strip is decoded once.
class RgbaBandReader final : public TiffPageReader {
 public:
  ~RgbaBandReader() override {
    if (begun_) TIFFRGBAImageEnd(&image_);
  }

  static std::unique_ptr<TiffPageReader> Open(std::unique_ptr<PageTiff> page) {
    if (!page->UnitsFit()) return nullptr;
    char message[1024] = {};
    if (!TIFFRGBAImageOK(page->Tiff(), message)) return nullptr;
    std::unique_ptr<RgbaBandReader> r(new RgbaBandReader);
    r->page_ = std::move(page);
    const PageTiff& p = *r->page_;
    if (!TIFFRGBAImageBegin(&r->image_, p.Tiff(), 1, message)) return nullptr;
    r->begun_ = true;
    // A page stored bottom row first comes out of each band flipped, the top
    // row of the band's page rows first.
    r->image_.req_orientation = ORIENTATION_TOPLEFT;

    const std::uint32_t width = p.Width(), height = p.Height(), unit = p.UnitRows();
    // Whole strips or tile rows, enough for some 64 rows while that stays
    // small; one unit alone may take up to kMaxUnitBytes.
    const std::uint64_t unitBytes = std::uint64_t{width} * unit * 4;
    const std::uint64_t units = std::clamp<std::uint64_t>(kPreferredBandBytes / unitBytes, 1,
                                                          (std::uint64_t{kPreferredBandRows} + unit - 1) / unit);
    const std::uint64_t rows = std::min<std::uint64_t>(height, units * unit);
    r->bandRows_ = static_cast<std::uint32_t>(rows);
    r->bandCount_ = static_cast<std::uint32_t>((height + rows - 1) / rows);
    // Every pixel of the band is written before it is read: no zero fill.
    r->band_.reset(new std::uint32_t[static_cast<std::size_t>(std::uint64_t{width} * rows)]);

    r->format_.width = width;
    r->format_.height = height;
    r->format_.bitDepth = 8;
    r->format_.colour = r->image_.alpha ? RowColour::kRgba : RowColour::kRgb;
    return r;
  }

  bool ReadRow(std::uint8_t* row) override {
    const std::uint32_t width = format_.width;
    if (next_ >= format_.height) return false;
    if (next_ >= bandStart_ + bandFilled_ && !NextBand()) return false;
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

  // The bands cover the file's rows from its first row in steps of
  // bandRows_; a page stored bottom row first takes them last band first, so
  // every band still starts on a strip or tile boundary.
  bool NextBand() {
    const std::uint32_t band = page_->BottomUp() ? bandCount_ - 1 - bandsRead_ : bandsRead_;
    const std::uint32_t fileRow = band * bandRows_;
    const std::uint32_t rows = std::min(bandRows_, format_.height - fileRow);
    image_.row_offset = static_cast<int>(fileRow);
    image_.col_offset = 0;
    if (!TIFFRGBAImageGet(&image_, band_.get(), format_.width, rows)) return false;
    ++bandsRead_;
    bandStart_ = next_;
    bandFilled_ = rows;
    return true;
  }

  std::unique_ptr<PageTiff> page_;
  TIFFRGBAImage image_{};
  bool begun_ = false;
  std::unique_ptr<std::uint32_t[]> band_;
  std::uint32_t bandRows_ = 0, bandCount_ = 0, bandsRead_ = 0, bandStart_ = 0, bandFilled_ = 0, next_ = 0;
};

}  // namespace

std::size_t RowFormat::RowBytes() const {
  return static_cast<std::size_t>((std::uint64_t{width} * static_cast<unsigned>(bitDepth * Channels(colour)) + 7) / 8);
}

std::unique_ptr<TiffPageReader> TiffPageReader::Open(const std::string& path) {
  auto page = PageTiff::Open(path);
  if (!page) return nullptr;
  const PageLayout layout = ReadPageLayout(*page);
  // The page files' own layouts, read as their samples in the order shown.
  if (layout.SamplesAsStored()) {
    RowFormat format;
    format.width = page->Width();
    format.height = page->Height();
    format.bitDepth = layout.bitsPerSample;
    format.colour = layout.colour == PageColour::kRgb       ? RowColour::kRgb
                    : layout.colour == PageColour::kPalette ? RowColour::kPalette
                                                             : RowColour::kGrey;
    const std::vector<std::uint8_t>& map = layout.colourMap;
    for (std::size_t i = 0; i + 2 < map.size(); i += 3) format.palette.push_back({map[i], map[i + 1], map[i + 2]});
    if (static_cast<std::uint64_t>(TIFFScanlineSize64(page->Tiff())) == format.RowBytes())
      return std::make_unique<SampleRowReader>(std::move(page), std::move(format), layout.minIsWhite);
  }
  return RgbaBandReader::Open(std::move(page));
}

}  // namespace folvane
