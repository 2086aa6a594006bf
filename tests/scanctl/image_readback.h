#pragma once
// Reads images back with the libraries' own generic decoders (libtiff's RGBA
// interface, libpng's simplified interface), independent of the code under
// test, as the colours a viewer shows.
#include <png.h>
#include <tiffio.h>

#include <optional>
#include <string>
#include <vector>

#include "dib_fixture.h"

namespace folvane::test {

struct Decoded {
  std::uint32_t width = 0, height = 0;
  std::vector<Rgb> pixels;  // top row first
};

inline std::optional<Decoded> ReadTiffColours(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return std::nullopt;
  Decoded d;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &d.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &d.height);
  std::vector<std::uint32_t> raster(std::size_t{d.width} * d.height);
  const int ok = TIFFReadRGBAImageOriented(tif, d.width, d.height, raster.data(), ORIENTATION_TOPLEFT, 1);
  TIFFClose(tif);
  if (!ok) return std::nullopt;
  for (std::uint32_t v : raster) {
    d.pixels.push_back({static_cast<std::uint8_t>(TIFFGetR(v)), static_cast<std::uint8_t>(TIFFGetG(v)),
                        static_cast<std::uint8_t>(TIFFGetB(v))});
  }
  return d;
}

inline std::optional<Decoded> ReadPngColours(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> buffer(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) return std::nullopt;
  Decoded d{image.width, image.height, {}};
  for (std::size_t i = 0; i + 2 < buffer.size(); i += 3) d.pixels.push_back({buffer[i], buffer[i + 1], buffer[i + 2]});
  return d;
}

// First differing pixel as text, or "" when the images are equal.
inline std::string Difference(const Decoded& got, const TestDib& want) {
  if (got.width != want.width || got.height != want.height) {
    return "size " + std::to_string(got.width) + "x" + std::to_string(got.height) + ", want " +
           std::to_string(want.width) + "x" + std::to_string(want.height);
  }
  for (std::size_t i = 0; i < got.pixels.size(); ++i) {
    if (!(got.pixels[i] == want.pixels[i])) {
      const Rgb g = got.pixels[i], w = want.pixels[i];
      return "pixel (" + std::to_string(i % want.width) + "," + std::to_string(i / want.width) + ") is " +
             std::to_string(g.r) + "," + std::to_string(g.g) + "," + std::to_string(g.b) + ", want " +
             std::to_string(w.r) + "," + std::to_string(w.g) + "," + std::to_string(w.b);
    }
  }
  return "";
}

}  // namespace folvane::test
