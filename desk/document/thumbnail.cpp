// A page's thumbnail: the page file read a row at a time and reduced by area
// averaging (each thumbnail pixel the mean of the page pixels it covers), so
// that memory stays at a row of the page and the thumbnail whatever the
// page's size, and fine print greys instead of vanishing.
#include "desk/document/thumbnail.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "desk/document/document_output.h"
#include "acquire/dib.h"
#include "desk/document/png_memory.h"
#include "output/tiff_page_reader.h"

namespace bidder::desk {
namespace {

using folvane::RowColour;
using folvane::RowFormat;

std::uint32_t Scaled(std::uint32_t side, std::uint32_t maxSide, std::uint32_t longest) {
  const std::uint64_t rounded = (std::uint64_t{side} * maxSide * 2 + longest) / (std::uint64_t{longest} * 2);
  return static_cast<std::uint32_t>(std::max<std::uint64_t>(rounded, 1));
}

// Bilevel and grey pages as grey, everything else as RGB.
int ThumbnailChannels(const RowFormat& f) { return f.colour == RowColour::kGrey ? 1 : 3; }

// One row of the page as 8-bit samples, `channels` per pixel.
void Unpack(const RowFormat& f, const std::uint8_t* row, std::uint8_t* out) {
  const int bits = f.bitDepth;
  const unsigned mask = (1u << bits) - 1;
  auto packed = [&](std::uint32_t x) {
    const std::size_t bit = std::size_t{x} * static_cast<unsigned>(bits);
    return (row[bit / 8] >> (8 - bits - static_cast<int>(bit % 8))) & mask;
  };
  for (std::uint32_t x = 0; x < f.width; ++x) {
    switch (f.colour) {
      case RowColour::kGrey: *out++ = static_cast<std::uint8_t>(packed(x) * 255 / mask); break;
      case RowColour::kPalette: {
        const unsigned index = packed(x);
        const RowFormat::Rgb c = index < f.palette.size() ? f.palette[index] : RowFormat::Rgb{0, 0, 0};
        *out++ = c.red;
        *out++ = c.green;
        *out++ = c.blue;
        break;
      }
      case RowColour::kRgb:
        out = std::copy_n(row + std::size_t{x} * 3, 3, out);
        break;
      case RowColour::kRgba: {
        // Shown over white paper.
        const std::uint8_t* p = row + std::size_t{x} * 4;
        for (int c = 0; c < 3; ++c) *out++ = static_cast<std::uint8_t>((p[c] * p[3] + 255 * (255 - p[3]) + 127) / 255);
        break;
      }
    }
  }
}

// Sums the page's rows into bands of thumbnail rows: page pixel (x, y) falls
// into thumbnail pixel (x * tw / w, y * th / h).
class AreaAverage {
 public:
  AreaAverage(PixelSize page, PixelSize thumb, int channels)
      : page_(page), thumb_(thumb), channels_(channels), sums_(std::size_t{thumb.width} * channels),
        counts_(thumb.width), pixels_(std::size_t{thumb.width} * thumb.height * channels) {
    for (std::uint32_t x = 0; x < page.width; ++x) ++counts_[Column(x)];
  }

  void AddRow(std::uint32_t y, const std::uint8_t* samples) {
    for (std::uint32_t x = 0; x < page_.width; ++x) {
      std::uint64_t* sum = &sums_[std::size_t{Column(x)} * channels_];
      for (int c = 0; c < channels_; ++c) sum[c] += *samples++;
    }
    ++rowsInBand_;
    const std::uint32_t band = Row(y);
    if (y + 1 == page_.height || Row(y + 1) != band) Flush(band);
  }

  const std::vector<std::uint8_t>& Pixels() const { return pixels_; }

 private:
  std::uint32_t Column(std::uint32_t x) const {
    return static_cast<std::uint32_t>(std::uint64_t{x} * thumb_.width / page_.width);
  }
  std::uint32_t Row(std::uint32_t y) const {
    return static_cast<std::uint32_t>(std::uint64_t{y} * thumb_.height / page_.height);
  }

  void Flush(std::uint32_t band) {
    std::uint8_t* out = &pixels_[std::size_t{band} * thumb_.width * channels_];
    for (std::uint32_t x = 0; x < thumb_.width; ++x) {
      const std::uint64_t area = std::uint64_t{counts_[x]} * rowsInBand_;
      for (int c = 0; c < channels_; ++c) {
        std::uint64_t& sum = sums_[std::size_t{x} * channels_ + c];
        *out++ = static_cast<std::uint8_t>((sum + area / 2) / area);
        sum = 0;
      }
    }
    rowsInBand_ = 0;
  }

  PixelSize page_, thumb_;
  int channels_;
  std::vector<std::uint64_t> sums_;
  std::vector<std::uint32_t> counts_;  // page columns in each thumbnail column
  std::uint32_t rowsInBand_ = 0;
  std::vector<std::uint8_t> pixels_;
};

// One row of a scanned bitmap as 8-bit samples: grey where its colour
// table is a grey one, else RGB (24-bit rows are stored blue first).
class DibRows {
 public:
  explicit DibRows(const folvane::DibView& dib) : dib_(dib) {
    grey_ = dib.BitsPerPixel() != 24;
    for (const folvane::DibColour& c : dib.Palette()) grey_ = grey_ && c.red == c.green && c.green == c.blue;
  }
  int Channels() const { return grey_ ? 1 : 3; }

  void Unpack(std::uint32_t y, std::uint8_t* out) const {
    const std::uint8_t* row = dib_.Row(y);
    const unsigned bits = dib_.BitsPerPixel();
    if (bits == 24) {
      for (std::uint32_t x = 0; x < dib_.Width(); ++x, row += 3) {
        *out++ = row[2];
        *out++ = row[1];
        *out++ = row[0];
      }
      return;
    }
    const unsigned mask = (1u << bits) - 1;
    for (std::uint32_t x = 0; x < dib_.Width(); ++x) {
      const std::size_t bit = std::size_t{x} * bits;
      const folvane::DibColour c = dib_.PaletteColour((row[bit / 8] >> (8 - bits - bit % 8)) & mask);
      *out++ = c.red;
      if (!grey_) {
        *out++ = c.green;
        *out++ = c.blue;
      }
    }
  }

 private:
  const folvane::DibView& dib_;
  bool grey_ = true;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> ThumbnailPngOfDib(std::span<const std::uint8_t> packedDib,
                                                           std::uint32_t maxSide) {
  try {
    const std::optional<folvane::DibView> dib = folvane::DibView::Parse(packedDib);
    if (!dib) return std::nullopt;
    const PixelSize page{dib->Width(), dib->Height()};
    const PixelSize thumb = ThumbnailSize(page, maxSide);
    const DibRows rows(*dib);
    std::vector<std::uint8_t> samples(std::size_t{page.width} * rows.Channels());
    AreaAverage average(page, thumb, rows.Channels());
    for (std::uint32_t y = 0; y < page.height; ++y) {
      rows.Unpack(y, samples.data());
      average.AddRow(y, samples.data());
    }
    return EncodePng(thumb.width, thumb.height, rows.Channels(), average.Pixels());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

PixelSize ThumbnailSize(PixelSize page, std::uint32_t maxSide) {
  maxSide = std::max<std::uint32_t>(maxSide, 1);
  const std::uint32_t longest = std::max(page.width, page.height);
  if (longest <= maxSide) return page;
  return {Scaled(page.width, maxSide, longest), Scaled(page.height, maxSide, longest)};
}

std::optional<std::vector<std::uint8_t>> ThumbnailPng(const std::string& pagePath, std::uint32_t maxSide) {
  try {
    const std::unique_ptr<folvane::TiffPageReader> reader = folvane::TiffPageReader::Open(pagePath);
    if (!reader) return std::nullopt;
    const RowFormat& f = reader->Format();
    const PixelSize page{f.width, f.height};
    if (page.width == 0 || page.height == 0) return std::nullopt;
    const PixelSize thumb = ThumbnailSize(page, maxSide);
    const int channels = ThumbnailChannels(f);

    std::vector<std::uint8_t> row(f.RowBytes());
    std::vector<std::uint8_t> samples(std::size_t{f.width} * channels);
    AreaAverage average(page, thumb, channels);
    for (std::uint32_t y = 0; y < page.height; ++y) {
      if (!reader->ReadRow(row.data())) return std::nullopt;
      Unpack(f, row.data(), samples.data());
      average.AddRow(y, samples.data());
    }
    return EncodePng(thumb.width, thumb.height, channels, average.Pixels());
  } catch (const std::exception&) {  // out of memory: no thumbnail, the page itself is fine
    return std::nullopt;
  }
}

}  // namespace bidder::desk
