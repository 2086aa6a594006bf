#include "tiff_fixture.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "pagefile/page_tiff.h"
#include "synthetic/scan_noise.h"

namespace folvane::test {
namespace {

using bidder::synthetic::ScanNoise;

// The fixtures' own stream: the same seed gives the same page on every
// platform, and the same page as before.
ScanNoise FixtureNoise(unsigned seed) { return ScanNoise::Seeded(seed, 12345u); }

// Scan-like content: text lines of dark blocks on a light page with a little
// noise, so that every codec has realistic work.
unsigned Level(std::uint32_t x, std::uint32_t y, unsigned maxValue, ScanNoise& noise) {
  const bool ink = (y % 24) >= 6 && (y % 24) < 18 && ((x / 7 + y / 24) % 5) != 0 && ((x * 13 + y) % 11) > 2;
  const unsigned base = ink ? maxValue / 8 : maxValue - maxValue / 16;
  const unsigned jitter = maxValue >= 15 ? noise.Next() % (maxValue / 15 + 1) : 0;
  unsigned v = base + jitter;
  if (x == 0 || y == 0) v = 0;  // edges pin orientation
  return v > maxValue ? maxValue : v;
}

std::uint8_t Scale(unsigned v, unsigned maxValue) { return static_cast<std::uint8_t>(v * 255 / maxValue); }

}  // namespace

ExpectedImage WriteTiffFixture(const std::string& path, const TiffFixture& spec) {
  TiffPtr tif(TIFFOpen(path.c_str(), "w"));
  if (!tif) throw std::runtime_error("cannot create " + path);
  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, spec.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, spec.height);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, spec.bitsPerSample);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spec.samplesPerPixel);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, spec.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_FILLORDER, spec.fillOrder);
  TIFFSetField(t, TIFFTAG_COMPRESSION, spec.compression);
  if (spec.predictor != 1) TIFFSetField(t, TIFFTAG_PREDICTOR, spec.predictor);
  if (spec.zipQuality >= 0) TIFFSetField(t, TIFFTAG_ZIPQUALITY, spec.zipQuality);
  if (spec.tileSize) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, spec.tileSize);
    TIFFSetField(t, TIFFTAG_TILELENGTH, spec.tileSize);
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, spec.rowsPerStrip ? spec.rowsPerStrip : spec.height);
  }
  if (spec.orientation != ORIENTATION_TOPLEFT) TIFFSetField(t, TIFFTAG_ORIENTATION, spec.orientation);
  const int colors = spec.photometric == PHOTOMETRIC_RGB ? 3 : 1;
  if (spec.samplesPerPixel > colors) {
    const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  if (spec.writeResolution) {
    TIFFSetField(t, TIFFTAG_XRESOLUTION, spec.xResolution);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, spec.yResolution);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, spec.resolutionUnit);
  }
  const unsigned maxValue = (1u << spec.bitsPerSample) - 1;
  std::vector<std::uint16_t> red, green, blue;
  if (spec.photometric == PHOTOMETRIC_PALETTE) {
    for (unsigned i = 0; i <= maxValue; ++i) {
      const unsigned r = (i * 37 + 11) & 0xFF, g = (i * 91 + 200) & 0xFF, b = 255 - (i * 255 / maxValue);
      auto wide = [&](unsigned v) {
        return static_cast<std::uint16_t>(spec.paletteEightBit ? v : spec.paletteShifted ? v << 8 : v * 257);
      };
      red.push_back(wide(r));
      green.push_back(wide(g));
      blue.push_back(wide(b));
    }
    TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  }

  ExpectedImage expected{spec.width, spec.height, std::vector<std::uint8_t>(std::size_t{spec.width} * spec.height * 3)};
  const std::size_t rowBytes = (std::size_t{spec.width} * spec.samplesPerPixel * spec.bitsPerSample + 7) / 8;
  // The whole picture top row first, then written in the file's order.
  std::vector<std::uint8_t> picture(rowBytes * spec.height);
  ScanNoise noise = FixtureNoise(spec.seed);
  for (std::uint32_t y = 0; y < spec.height; ++y) {
    std::uint8_t* row = &picture[rowBytes * y];
    for (std::uint32_t x = 0; x < spec.width; ++x) {
      std::uint8_t* shown = &expected.rgb[(std::size_t{y} * spec.width + x) * 3];
      if (colors == 3) {
        const unsigned l = Level(x, y, 255, noise);
        const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(l), static_cast<std::uint8_t>((l + x) & 0xFF),
                                     static_cast<std::uint8_t>((l ^ y) & 0xFF)};
        for (int c = 0; c < 3; ++c) row[x * spec.samplesPerPixel + c] = shown[c] = rgb[c];
        for (int c = 3; c < spec.samplesPerPixel; ++c) row[x * spec.samplesPerPixel + c] = static_cast<std::uint8_t>(x * 5);
        continue;
      }
      unsigned v = Level(x, y, maxValue, noise);
      if (spec.photometric == PHOTOMETRIC_PALETTE) v = (v + x / 3) % (maxValue + 1);
      if (spec.bitsPerSample == 8) {
        row[x * spec.samplesPerPixel] = static_cast<std::uint8_t>(v);
        for (int c = 1; c < spec.samplesPerPixel; ++c) row[x * spec.samplesPerPixel + c] = static_cast<std::uint8_t>(y);
      } else {
        const std::size_t bit = std::size_t{x} * spec.bitsPerSample;
        row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - spec.bitsPerSample - bit % 8));
      }
      if (spec.photometric == PHOTOMETRIC_PALETTE) {
        const int shift = spec.paletteEightBit ? 0 : 8;
        shown[0] = static_cast<std::uint8_t>(red[v] >> shift);
        shown[1] = static_cast<std::uint8_t>(green[v] >> shift);
        shown[2] = static_cast<std::uint8_t>(blue[v] >> shift);
      } else {
        std::uint8_t grey = Scale(v, maxValue);
        if (spec.photometric == PHOTOMETRIC_MINISWHITE) grey = static_cast<std::uint8_t>(255 - grey);
        shown[0] = shown[1] = shown[2] = grey;
      }
    }
  }
  const bool bottomUp = spec.orientation == ORIENTATION_BOTLEFT;
  auto fileRow = [&](std::uint32_t y) { return &picture[rowBytes * (bottomUp ? spec.height - 1 - y : y)]; };
  if (spec.tileSize) {
    const std::size_t tileRowBytes = std::size_t{spec.tileSize} * spec.samplesPerPixel * spec.bitsPerSample / 8;
    std::vector<std::uint8_t> tile(tileRowBytes * spec.tileSize);
    for (std::uint32_t ty = 0; ty < spec.height; ty += spec.tileSize) {
      for (std::uint32_t tx = 0; tx < spec.width; tx += spec.tileSize) {
        std::fill(tile.begin(), tile.end(), 0);
        const std::size_t at = std::size_t{tx} * spec.samplesPerPixel * spec.bitsPerSample / 8;
        for (std::uint32_t y = 0; y < spec.tileSize && ty + y < spec.height; ++y)
          std::copy_n(fileRow(ty + y) + at, std::min(tileRowBytes, rowBytes - at), &tile[tileRowBytes * y]);
        if (TIFFWriteTile(t, tile.data(), tx, ty, 0, 0) < 0) throw std::runtime_error("cannot write " + path);
      }
    }
  } else {
    for (std::uint32_t y = 0; y < spec.height; ++y)
      if (TIFFWriteScanline(t, fileRow(y), y, 0) < 0) throw std::runtime_error("cannot write " + path);
  }
  if (!TIFFWriteDirectory(t)) throw std::runtime_error("cannot finish " + path);
  return expected;
}

std::string HandMadeTiff(std::uint32_t width, std::uint32_t height, std::uint16_t bits, std::uint16_t samples,
                         std::uint16_t compression, std::uint16_t photometric, std::uint32_t stripBytes,
                         std::size_t dataBytes) {
  struct Entry {
    std::uint16_t tag, type;
    std::uint32_t value;
  };
  const std::uint32_t dataOffset = 8 + 2 + 9 * 12 + 4;
  const Entry entries[] = {{256, 4, width},      {257, 4, height},    {258, 3, bits},
                           {259, 3, compression}, {262, 3, photometric}, {273, 4, dataOffset},
                           {277, 3, samples},     {278, 4, height},    {279, 4, stripBytes}};
  std::string out("II*\0\x08\0\0\0", 8);
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  put(9, 2);
  for (const Entry& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(1, 4);
    put(e.value, 4);  // a SHORT sits in the low bytes, little-endian
  }
  put(0, 4);
  for (std::size_t i = 0; i < dataBytes; ++i) out.push_back(static_cast<char>(i * 7));
  return out;
}

std::string TiffWithFields(std::vector<TiffField> fields, const std::string& data) {
  std::sort(fields.begin(), fields.end(), [](const TiffField& a, const TiffField& b) { return a.tag < b.tag; });
  std::string out("II*\0", 4);
  auto put = [](std::string& to, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) to.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  const std::uint32_t ifd = (kHandMadeDataOffset + static_cast<std::uint32_t>(data.size()) + 1) & ~1u;
  put(out, ifd, 4);
  out += data;
  out.resize(ifd, '\0');
  std::string arrays;  // values that do not fit in their entry, after the directory
  const std::uint32_t arraysAt = ifd + 2 + static_cast<std::uint32_t>(fields.size()) * 12 + 4;
  put(out, static_cast<std::uint32_t>(fields.size()), 2);
  for (const TiffField& f : fields) {
    const int size = f.type == 3 ? 2 : 4;
    put(out, f.tag, 2);
    put(out, f.type, 2);
    put(out, static_cast<std::uint32_t>(f.values.size()), 4);
    std::string values;
    for (std::uint32_t v : f.values) put(values, v, size);
    if (values.size() <= 4) {
      values.resize(4, '\0');
      out += values;
    } else {
      put(out, arraysAt + static_cast<std::uint32_t>(arrays.size()), 4);
      arrays += values;
    }
  }
  put(out, 0, 4);
  return out + arrays;
}

std::string DeflatedZeros(std::size_t bytes) {
  const std::vector<Bytef> zeros(bytes);
  uLongf size = compressBound(static_cast<uLong>(bytes));
  std::string packed(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, zeros.data(), static_cast<uLong>(bytes), 9) != Z_OK)
    throw std::runtime_error("zlib refused");
  packed.resize(size);
  return packed;
}

}  // namespace folvane::test
