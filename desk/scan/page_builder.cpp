#include "desk/scan/page_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "pagefile/page_limits.h"

namespace bidder::desk {
namespace {

constexpr std::size_t kInfoHeaderBytes = 40;
// The widest line a device can mean: the widest page in 16-bit colour.
constexpr std::int64_t kMaxLineBytes = std::int64_t{folvane::kMaxImageSide} * 6;

bool IsChannelFrame(FrameFormat format) {
  return format == FrameFormat::kRed || format == FrameFormat::kGreen || format == FrameFormat::kBlue;
}

unsigned SamplesPerPixel(FrameFormat format) { return format == FrameFormat::kRgb ? 3 : 1; }

// BGR order in the DIB.
std::size_t ChannelOffset(FrameFormat format) {
  return format == FrameFormat::kRed ? 2 : format == FrameFormat::kGreen ? 1 : 0;
}

std::size_t PaletteEntries(unsigned bits) { return bits == 24 ? 0 : std::size_t{1} << bits; }

void PutLe32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
void PutLe16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

// Sample `index` of a line as 8 bits. 16-bit samples come in the host's byte
// order; a 1-bit sample of a colour frame is full intensity or none.
std::uint8_t Sample8(const std::uint8_t* line, std::size_t index, int depth) {
  switch (depth) {
    case 1:
      return (line[index >> 3] >> (7 - (index & 7))) & 1 ? 255 : 0;
    case 16: {
      std::uint16_t sample;
      std::memcpy(&sample, line + 2 * index, sizeof sample);
      return static_cast<std::uint8_t>((std::uint32_t{sample} * 255 + 32767) / 65535);
    }
    default:
      return line[index];
  }
}

}  // namespace

std::int32_t PelsPerMeter(double dpi) {
  if (!std::isfinite(dpi) || dpi <= 0 || dpi > folvane::kMaxUsableDpi) return 0;
  return static_cast<std::int32_t>(std::lround(dpi * 10000.0 / 254.0));
}

std::size_t PageBuilder::BitsOffset() const { return kInfoHeaderBytes + 4 * PaletteEntries(m_outBits); }

PageFault PageBuilder::BeginFrame(const FrameParameters& frame) {
  if (frame.format == FrameFormat::kOther) return PageFault::kUnsupportedFormat;
  if (frame.depth != 1 && frame.depth != 8 && frame.depth != 16) return PageFault::kUnsupportedFormat;
  if (frame.pixelsPerLine < 1 || frame.pixelsPerLine > folvane::kMaxImageSide) return PageFault::kTooLarge;
  const std::int64_t needed = (frame.pixelsPerLine * SamplesPerPixel(frame.format) * frame.depth + 7) / 8;
  if (frame.bytesPerLine < needed || frame.bytesPerLine > kMaxLineBytes || frame.lines < -1)
    return PageFault::kBadParameters;

  unsigned outBits = 24;
  if (frame.format == FrameFormat::kGray) outBits = frame.depth == 1 || m_bilevelFromGrey ? 1 : 8;
  const auto width = static_cast<std::uint32_t>(frame.pixelsPerLine);
  if (m_outBits == 0) {
    if (frame.lines > folvane::kMaxImageSide ||
        (frame.lines > 0 && !folvane::PageSizeWithinLimits(width, static_cast<std::uint32_t>(frame.lines), outBits)))
      return PageFault::kTooLarge;
    m_outBits = outBits;
    m_width = width;
    m_stride = (std::size_t{width} * outBits + 31) / 32 * 4;
    m_dib.clear();
    m_dib.resize(BitsOffset());
    m_rowsAllocated = m_rowsFilled = 0;
    if (frame.lines > 0) {
      if (const PageFault fault = GrowTo(static_cast<std::size_t>(frame.lines)); fault != PageFault::kNone) return fault;
    }
  } else if (!IsChannelFrame(frame.format) || outBits != m_outBits || width != m_width) {
    // Only a three-pass page has more than one frame, each one colour.
    return PageFault::kFrameMismatch;
  }
  m_frame = frame;
  m_frameRow = 0;
  m_line.assign(static_cast<std::size_t>(frame.bytesPerLine), 0);
  m_lineFill = 0;
  return PageFault::kNone;
}

PageFault PageBuilder::GrowTo(std::size_t rows) {
  if (rows <= m_rowsAllocated) return PageFault::kNone;
  if (rows > folvane::kMaxImageSide || !folvane::PageSizeWithinLimits(m_width, static_cast<std::uint32_t>(rows), m_outBits))
    return PageFault::kTooLarge;
  const std::size_t bytes = BitsOffset() + rows * m_stride;
  try {
    // A page of unknown height grows by half again each time, up to the limit.
    if (bytes > m_dib.capacity()) {
      // In 64 bits: the sum would not fit a 32-bit size_t if the limit ever grew.
      const std::uint64_t limit = std::uint64_t{BitsOffset()} + folvane::kMaxDecodedBytes + m_stride;
      const std::uint64_t grown = std::uint64_t{m_dib.capacity()} + m_dib.capacity() / 2;
      m_dib.reserve(std::max(bytes, static_cast<std::size_t>(std::min(limit, grown))));
    }
    m_dib.resize(bytes, 0);
  } catch (const std::bad_alloc&) {
    return PageFault::kTooLarge;
  }
  m_rowsAllocated = rows;
  return PageFault::kNone;
}

PageFault PageBuilder::Feed(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), m_line.size() - m_lineFill);
    std::memcpy(m_line.data() + m_lineFill, bytes.data(), take);
    m_lineFill += take;
    bytes = bytes.subspan(take);
    if (m_lineFill < m_line.size()) break;
    m_lineFill = 0;
    // Lines beyond the height the device announced are not the page's.
    if (m_frame.lines >= 0 && m_frameRow >= static_cast<std::size_t>(m_frame.lines)) continue;
    if (m_frameRow >= m_rowsAllocated) {
      if (const PageFault fault = GrowTo(m_frameRow + 1); fault != PageFault::kNone) return fault;
    }
    ConvertLine(m_dib.data() + BitsOffset() + m_frameRow * m_stride);
    ++m_frameRow;
  }
  return PageFault::kNone;
}

void PageBuilder::ConvertLine(std::uint8_t* row) const {
  const std::uint8_t* line = m_line.data();
  const int depth = m_frame.depth;
  if (m_frame.format == FrameFormat::kRgb) {
    for (std::size_t x = 0; x < m_width; ++x) {
      row[3 * x + 2] = Sample8(line, 3 * x, depth);
      row[3 * x + 1] = Sample8(line, 3 * x + 1, depth);
      row[3 * x + 0] = Sample8(line, 3 * x + 2, depth);
    }
  } else if (IsChannelFrame(m_frame.format)) {
    const std::size_t offset = ChannelOffset(m_frame.format);
    for (std::size_t x = 0; x < m_width; ++x) row[3 * x + offset] = Sample8(line, x, depth);
  } else if (m_outBits == 8) {
    for (std::size_t x = 0; x < m_width; ++x) row[x] = Sample8(line, x, depth);
  } else if (depth == 1) {
    const std::size_t fullBytes = m_width / 8;
    std::memcpy(row, line, fullBytes);
    // Bits past the last pixel stay 0 (white), whatever the device sent.
    if (const unsigned rest = m_width % 8; rest != 0)
      row[fullBytes] = static_cast<std::uint8_t>(line[fullBytes] & (0xFF00u >> rest));
  } else {
    std::memset(row, 0, (m_width + 7) / 8);
    // Grey made black and white here: darker than half is black (1).
    for (std::size_t x = 0; x < m_width; ++x) {
      if (Sample8(line, x, depth) < 128) row[x >> 3] = static_cast<std::uint8_t>(row[x >> 3] | (0x80u >> (x & 7)));
    }
  }
}

void PageBuilder::EndFrame() { m_rowsFilled = std::max(m_rowsFilled, m_frameRow); }

std::vector<std::uint8_t> PageBuilder::Finish(double dpi, PageFault& fault) {
  fault = PageFault::kNone;
  std::vector<std::uint8_t> dib;
  dib.swap(m_dib);
  const unsigned bits = m_outBits;
  const std::size_t height = m_rowsFilled;
  const std::size_t offset = BitsOffset();
  m_outBits = 0;
  m_rowsAllocated = m_rowsFilled = 0;
  if (bits == 0 || height == 0) {
    fault = PageFault::kNoImage;
    return {};
  }
  // A device that sent fewer lines than it announced gives a shorter page.
  dib.resize(offset + height * m_stride);
  std::uint8_t* rows = dib.data() + offset;
  for (std::size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(rows + top * m_stride, rows + (top + 1) * m_stride, rows + bottom * m_stride);

  std::uint8_t* header = dib.data();
  const std::int32_t pels = PelsPerMeter(dpi);
  PutLe32(header + 0, kInfoHeaderBytes);
  PutLe32(header + 4, m_width);
  PutLe32(header + 8, static_cast<std::uint32_t>(height));
  PutLe16(header + 12, 1);
  PutLe16(header + 14, static_cast<std::uint16_t>(bits));
  PutLe32(header + 16, 0);  // BI_RGB
  PutLe32(header + 20, static_cast<std::uint32_t>(height * m_stride));
  PutLe32(header + 24, static_cast<std::uint32_t>(pels));
  PutLe32(header + 28, static_cast<std::uint32_t>(pels));
  PutLe32(header + 32, static_cast<std::uint32_t>(PaletteEntries(bits)));
  PutLe32(header + 36, 0);
  std::uint8_t* palette = header + kInfoHeaderBytes;
  if (bits == 1) {
    // Index 0 white, 1 black: the device's own bit values.
    const std::uint8_t white[4] = {255, 255, 255, 0};
    const std::uint8_t black[4] = {0, 0, 0, 0};
    std::memcpy(palette, white, 4);
    std::memcpy(palette + 4, black, 4);
  } else if (bits == 8) {
    for (unsigned i = 0; i < 256; ++i) {
      const auto level = static_cast<std::uint8_t>(i);
      const std::uint8_t entry[4] = {level, level, level, 0};
      std::memcpy(palette + 4 * i, entry, 4);
    }
  }
  return dib;
}

}  // namespace bidder::desk
