#pragma once
// Bitmaps built in code, as a scanner's native transfer hands them over, with
// the colour every pixel must read back as.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "acquire/dib.h"

namespace folvane::test {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Deterministic pixel noise.
inline std::uint32_t Noise(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  std::uint32_t v = x * 0x9E3779B1u ^ (y + seed) * 0x85EBCA77u;
  v ^= v >> 15;
  v *= 0x2C1B3C6Du;
  v ^= v >> 12;
  return v;
}

struct DibFixture {
  unsigned bitsPerPixel = 24;
  std::uint32_t width = 1, height = 1;
  bool topDown = false;
  std::vector<DibColour> palette;  // written as the colour table
  std::uint32_t clrUsed = 0;       // 0: the table's length decides nothing, Windows' default
  std::int32_t xPelsPerMeter = 11811, yPelsPerMeter = 11811;
  std::uint32_t seed = 1;
};

struct TestDib {
  std::vector<std::uint8_t> bytes;  // the packed DIB
  std::uint32_t width = 0, height = 0;
  std::vector<Rgb> pixels;  // expected colours, top row first
};

inline void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

// Pixel values are noise limited to the palette entries that exist (all of
// 2^bits when clrUsed is 0), so every index used has a colour.
inline TestDib MakeDib(const DibFixture& spec) {
  const std::uint32_t stride = (spec.width * spec.bitsPerPixel + 31) / 32 * 4;
  const std::size_t table = spec.palette.size() * 4;
  TestDib d;
  d.width = spec.width;
  d.height = spec.height;
  d.bytes.assign(40 + table + std::size_t{stride} * spec.height, 0);
  auto& b = d.bytes;
  PutU32(b, 0, 40);
  PutU32(b, 4, spec.width);
  PutU32(b, 8, spec.topDown ? static_cast<std::uint32_t>(-static_cast<std::int32_t>(spec.height)) : spec.height);
  PutU16(b, 12, 1);
  PutU16(b, 14, static_cast<std::uint16_t>(spec.bitsPerPixel));
  PutU32(b, 16, 0);
  PutU32(b, 20, stride * spec.height);
  PutU32(b, 24, static_cast<std::uint32_t>(spec.xPelsPerMeter));
  PutU32(b, 28, static_cast<std::uint32_t>(spec.yPelsPerMeter));
  PutU32(b, 32, spec.clrUsed);
  for (std::size_t i = 0; i < spec.palette.size(); ++i) {
    b[40 + i * 4] = spec.palette[i].blue;
    b[40 + i * 4 + 1] = spec.palette[i].green;
    b[40 + i * 4 + 2] = spec.palette[i].red;
  }
  const std::uint32_t indices = spec.bitsPerPixel <= 8 ? static_cast<std::uint32_t>(spec.palette.size()) : 0;
  d.pixels.resize(std::size_t{spec.width} * spec.height);
  for (std::uint32_t y = 0; y < spec.height; ++y) {
    const std::uint32_t stored = spec.topDown ? y : spec.height - 1 - y;
    std::uint8_t* row = b.data() + 40 + table + std::size_t{stored} * stride;
    // Padding bytes carry noise too: they must not leak into the image.
    for (std::uint32_t i = 0; i < stride; ++i) row[i] = static_cast<std::uint8_t>(Noise(i, y, spec.seed + 7));
    for (std::uint32_t x = 0; x < spec.width; ++x) {
      const std::uint32_t n = Noise(x, y, spec.seed);
      Rgb& px = d.pixels[std::size_t{y} * spec.width + x];
      if (spec.bitsPerPixel == 24) {
        px = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16)};
        row[x * 3] = px.b;
        row[x * 3 + 1] = px.g;
        row[x * 3 + 2] = px.r;
        continue;
      }
      const std::uint32_t index = (n >> 8) % indices;
      const DibColour c = spec.palette[index];
      px = {c.red, c.green, c.blue};
      const unsigned bpp = spec.bitsPerPixel;
      const std::size_t bit = std::size_t{x} * bpp;
      const unsigned shift = 8 - bpp - static_cast<unsigned>(bit % 8);
      std::uint8_t& byte = row[bit / 8];
      const auto mask = static_cast<std::uint8_t>(((1u << bpp) - 1) << shift);
      byte = static_cast<std::uint8_t>((byte & ~mask) | (index << shift));
    }
  }
  return d;
}

inline std::vector<DibColour> GreyRamp(unsigned bits) {
  const unsigned n = 1u << bits, step = 255 / (n - 1);
  std::vector<DibColour> p;
  for (unsigned i = 0; i < n; ++i) p.push_back({static_cast<std::uint8_t>(i * step), static_cast<std::uint8_t>(i * step),
                                                static_cast<std::uint8_t>(i * step)});
  return p;
}

inline std::vector<DibColour> RandomPalette(unsigned entries, std::uint32_t seed) {
  std::vector<DibColour> p;
  for (unsigned i = 0; i < entries; ++i) {
    const std::uint32_t n = Noise(i, 0, seed);
    p.push_back({static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n >> 16)});
  }
  return p;
}

// The bitmap as a .bmp file, with `gap` spare bytes between table and bits.
inline std::string AsBmpFile(const std::vector<std::uint8_t>& dib, std::size_t headerAndTable, std::size_t gap = 0) {
  std::vector<std::uint8_t> f(14, 0);
  f[0] = 'B';
  f[1] = 'M';
  PutU32(f, 2, static_cast<std::uint32_t>(14 + dib.size() + gap));
  PutU32(f, 10, static_cast<std::uint32_t>(14 + headerAndTable + gap));
  f.insert(f.end(), dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(headerAndTable));
  f.insert(f.end(), gap, 0xEE);
  f.insert(f.end(), dib.begin() + static_cast<std::ptrdiff_t>(headerAndTable), dib.end());
  return std::string(f.begin(), f.end());
}

}  // namespace folvane::test
