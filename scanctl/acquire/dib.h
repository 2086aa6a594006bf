#pragma once
// A packed device-independent bitmap as a native scanner transfer delivers it:
// BITMAPINFOHEADER (or a later, larger header), the colour table, then the
// bits, rows padded to 4 bytes, bottom-up unless the height is negative.
// Parse() checks every size against the buffer before anything is read, so a
// DibView only ever points at bytes that exist.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace folvane {

struct DibColour {
  std::uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const DibColour&, const DibColour&) = default;
};

// The leading part of a packed DIB: header, bit-field masks and colour table.
// Without it the bits cannot be located; a bitmap file (.bmp) may hold its
// bits elsewhere, so readers of such files need this size on its own.
std::optional<std::size_t> DibHeaderAndTableSize(std::span<const std::uint8_t> packed);

class DibView {
 public:
  // nullopt unless the bitmap is one we store: BI_RGB, 1, 4, 8 or 24 bits per
  // pixel, positive width, non-zero height, and every byte in the buffer.
  static std::optional<DibView> Parse(std::span<const std::uint8_t> packed);

  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  unsigned BitsPerPixel() const { return bitsPerPixel_; }
  bool TopDown() const { return topDown_; }
  std::int32_t XPelsPerMeter() const { return xPelsPerMeter_; }
  std::int32_t YPelsPerMeter() const { return yPelsPerMeter_; }
  // The colour table as stored (possibly shorter than 2^bits; empty for 24 bits).
  const std::vector<DibColour>& Palette() const { return palette_; }
  // The colour of palette index i; entries the table leaves out are black.
  DibColour PaletteColour(std::size_t i) const { return i < palette_.size() ? palette_[i] : DibColour{}; }

  // Bytes that hold the pixels of one row, without the padding.
  std::size_t RowBytes() const { return rowBytes_; }
  // Row y counted from the top of the image, RowBytes() long.
  const std::uint8_t* Row(std::uint32_t y) const {
    const std::uint32_t stored = topDown_ ? y : height_ - 1 - y;
    return bits_ + static_cast<std::size_t>(stored) * stride_;
  }

 private:
  DibView() = default;
  std::uint32_t width_ = 0, height_ = 0;
  unsigned bitsPerPixel_ = 0;
  bool topDown_ = false;
  std::int32_t xPelsPerMeter_ = 0, yPelsPerMeter_ = 0;
  std::vector<DibColour> palette_;
  std::size_t rowBytes_ = 0, stride_ = 0;
  const std::uint8_t* bits_ = nullptr;
};

}  // namespace folvane
