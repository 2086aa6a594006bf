#include "acquire/dib.h"

#include <limits>

namespace folvane {
namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;  // sizeof(BITMAPINFOHEADER)
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
std::int32_t ReadI32(const std::uint8_t* p) { return static_cast<std::int32_t>(ReadU32(p)); }
std::uint16_t ReadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

struct Header {
  std::uint32_t size;
  std::int32_t width, height;
  std::uint16_t bitCount;
  std::uint32_t compression;
  std::int32_t xPelsPerMeter, yPelsPerMeter;
  std::uint32_t clrUsed;
};

std::optional<Header> ReadHeader(std::span<const std::uint8_t> packed) {
  if (packed.size() < kInfoHeaderSize) return std::nullopt;
  const std::uint8_t* p = packed.data();
  Header h{ReadU32(p),      ReadI32(p + 4),  ReadI32(p + 8),  ReadU16(p + 14),
           ReadU32(p + 16), ReadI32(p + 24), ReadI32(p + 28), ReadU32(p + 32)};
  // Core headers (12 bytes) and anything not a BITMAPINFOHEADER or a later
  // extension of it are not what a native transfer hands over.
  if (h.size < kInfoHeaderSize || h.size > packed.size()) return std::nullopt;
  return h;
}

// Number of colour table entries, or nullopt when the header asks for more
// than the bit depth can index.
std::optional<std::uint32_t> TableEntries(const Header& h) {
  if (h.bitCount <= 8) {
    const std::uint32_t full = 1u << h.bitCount;
    if (h.clrUsed > full) return std::nullopt;
    return h.clrUsed == 0 ? full : h.clrUsed;
  }
  // Deeper bitmaps may carry an optional table for display; it is skipped.
  if (h.clrUsed > 256) return std::nullopt;
  return h.clrUsed;
}

}  // namespace

std::optional<std::size_t> DibHeaderAndTableSize(std::span<const std::uint8_t> packed) {
  const auto h = ReadHeader(packed);
  if (!h || h->bitCount == 0) return std::nullopt;
  const auto entries = TableEntries(*h);
  if (!entries) return std::nullopt;
  // With a plain BITMAPINFOHEADER the three bit-field masks follow the header.
  const std::size_t masks = (h->compression == kBiBitfields && h->size == kInfoHeaderSize) ? 12 : 0;
  return std::size_t{h->size} + masks + std::size_t{*entries} * 4;
}

std::optional<DibView> DibView::Parse(std::span<const std::uint8_t> packed) {
  const auto h = ReadHeader(packed);
  if (!h) return std::nullopt;
  if (h->compression != kBiRgb) return std::nullopt;
  if (h->bitCount != 1 && h->bitCount != 4 && h->bitCount != 8 && h->bitCount != 24) return std::nullopt;
  if (h->width <= 0 || h->height == 0 || h->height == std::numeric_limits<std::int32_t>::min()) return std::nullopt;

  const auto headerAndTable = DibHeaderAndTableSize(packed);
  if (!headerAndTable || *headerAndTable > packed.size()) return std::nullopt;

  DibView v;
  v.width_ = static_cast<std::uint32_t>(h->width);
  v.topDown_ = h->height < 0;
  v.height_ = v.topDown_ ? static_cast<std::uint32_t>(-static_cast<std::int64_t>(h->height))
                         : static_cast<std::uint32_t>(h->height);
  v.bitsPerPixel_ = h->bitCount;
  v.xPelsPerMeter_ = h->xPelsPerMeter;
  v.yPelsPerMeter_ = h->yPelsPerMeter;

  // Width and height are below 2^31 and bits per pixel at most 24, so these
  // products fit in 64 bits; the comparison with the buffer bounds the rest.
  const std::uint64_t rowBits = std::uint64_t{v.width_} * v.bitsPerPixel_;
  const std::uint64_t stride = (rowBits + 31) / 32 * 4;
  const std::uint64_t available = packed.size() - *headerAndTable;
  if (stride > available || std::uint64_t{v.height_} > available / stride) return std::nullopt;
  v.stride_ = static_cast<std::size_t>(stride);
  v.rowBytes_ = static_cast<std::size_t>((rowBits + 7) / 8);

  if (h->bitCount <= 8) {
    const std::uint32_t entries = *TableEntries(*h);
    const std::uint8_t* table = packed.data() + h->size;
    v.palette_.reserve(entries);
    for (std::uint32_t i = 0; i < entries; ++i) {  // RGBQUAD: blue, green, red, reserved
      const std::uint8_t* q = table + std::size_t{i} * 4;
      v.palette_.push_back({q[2], q[1], q[0]});
    }
  }
  v.bits_ = packed.data() + *headerAndTable;
  return v;
}

}  // namespace folvane
