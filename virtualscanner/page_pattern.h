#pragma once
// The pages the virtual scanner delivers: for every page number a known
// picture, so that whoever receives a page can check each pixel. Portable: the
// scanner builds its bitmaps from it and tests compare page files with it.
#include <cstdint>
#include <cstring>
#include <vector>

namespace vscan {

enum class PixelKind { kBlackWhite, kGrey, kPalette, kRgb };

struct PageFormat {
  std::uint32_t width = 200;
  std::uint32_t height = 100;
  PixelKind kind = PixelKind::kRgb;
  std::uint32_t dpi = 150;
};

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

inline unsigned BitsPerPixel(PixelKind kind) {
  switch (kind) {
    case PixelKind::kBlackWhite: return 1;
    case PixelKind::kGrey:
    case PixelKind::kPalette: return 8;
    case PixelKind::kRgb: return 24;
  }
  return 24;
}

inline unsigned PaletteSize(PixelKind kind) {
  switch (kind) {
    case PixelKind::kBlackWhite: return 2;
    case PixelKind::kGrey:
    case PixelKind::kPalette: return 256;
    case PixelKind::kRgb: return 0;
  }
  return 0;
}

// Colour table entry i (black/white: 0 black, 1 white).
inline Rgb PaletteColour(PixelKind kind, unsigned i) {
  const auto b = [](unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); };
  switch (kind) {
    case PixelKind::kBlackWhite: return i ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
    case PixelKind::kGrey: return {b(i), b(i), b(i)};
    case PixelKind::kPalette: return {b(i * 37 + 11), b(i * 91), b(255 - i)};
    case PixelKind::kRgb: break;
  }
  return {0, 0, 0};
}

// The stored value of pixel (x, y) of page `page`: the colour index for the
// kinds with a colour table. Row 0 is the top row.
inline unsigned PixelIndex(PixelKind kind, std::uint32_t page, std::uint32_t x, std::uint32_t y) {
  switch (kind) {
    case PixelKind::kBlackWhite: return ((x / 4) + (y / 4) + page) & 1;
    case PixelKind::kGrey: return (x * 3 + y * 2 + page * 50) & 0xFF;
    case PixelKind::kPalette: return (x / 3 + y / 5 * 7 + page * 29) & 0xFF;
    case PixelKind::kRgb: break;
  }
  return 0;
}

inline Rgb PixelColour(PixelKind kind, std::uint32_t page, std::uint32_t x, std::uint32_t y) {
  if (kind == PixelKind::kRgb) {
    return {static_cast<std::uint8_t>((x * 7 + page * 40) & 0xFF), static_cast<std::uint8_t>((y * 5 + page * 80) & 0xFF),
            static_cast<std::uint8_t>(((x + y) * 3 + page * 120) & 0xFF)};
  }
  return PaletteColour(kind, PixelIndex(kind, page, x, y));
}

// Page `page` as a packed DIB: BITMAPINFOHEADER (40 bytes, little-endian),
// colour table, bottom-up rows padded to 4 bytes.
inline std::vector<std::uint8_t> BuildPackedDib(const PageFormat& f, std::uint32_t page) {
  const unsigned bpp = BitsPerPixel(f.kind);
  const unsigned colours = PaletteSize(f.kind);
  const std::size_t stride = ((static_cast<std::size_t>(f.width) * bpp + 31) / 32) * 4;
  const std::size_t header = 40 + 4 * static_cast<std::size_t>(colours);
  std::vector<std::uint8_t> dib(header + stride * f.height, 0);
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  const auto put16 = [&](std::size_t at, std::uint16_t v) {
    dib[at] = static_cast<std::uint8_t>(v);
    dib[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  const std::uint32_t pelsPerMetre = static_cast<std::uint32_t>((f.dpi * 10000u + 127u) / 254u);
  put32(0, 40);
  put32(4, f.width);
  put32(8, f.height);  // positive: bottom-up
  put16(12, 1);
  put16(14, static_cast<std::uint16_t>(bpp));
  put32(16, 0);  // BI_RGB
  put32(20, static_cast<std::uint32_t>(stride * f.height));
  put32(24, pelsPerMetre);
  put32(28, pelsPerMetre);
  put32(32, colours);
  put32(36, 0);
  for (unsigned i = 0; i < colours; ++i) {
    const Rgb c = PaletteColour(f.kind, i);
    dib[40 + 4 * i] = c.b;
    dib[40 + 4 * i + 1] = c.g;
    dib[40 + 4 * i + 2] = c.r;
  }
  for (std::uint32_t y = 0; y < f.height; ++y) {
    std::uint8_t* row = dib.data() + header + stride * (f.height - 1 - y);
    for (std::uint32_t x = 0; x < f.width; ++x) {
      switch (f.kind) {
        case PixelKind::kBlackWhite:
          if (PixelIndex(f.kind, page, x, y)) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
          break;
        case PixelKind::kGrey:
        case PixelKind::kPalette:
          row[x] = static_cast<std::uint8_t>(PixelIndex(f.kind, page, x, y));
          break;
        case PixelKind::kRgb: {
          const Rgb c = PixelColour(f.kind, page, x, y);
          row[3 * x] = c.b;
          row[3 * x + 1] = c.g;
          row[3 * x + 2] = c.r;
          break;
        }
      }
    }
  }
  return dib;
}

}  // namespace vscan
