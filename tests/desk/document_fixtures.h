#pragma once
// Pages for the document tests: bitmaps as a scanner hands them over, a
// decoded PNG, and a file system that fills up.
#include <png.h>
#include <sched.h>
#include <sys/mount.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "scanctl/dib_fixture.h"

namespace bidder::desk::test {

using folvane::DibColour;
using folvane::test::DibFixture;
using folvane::test::GreyRamp;
using folvane::test::MakeDib;

inline constexpr std::int32_t k300Dpi = 11811;  // pixels per metre

// A bitmap of noise over the palette's colours (24 bits: over all colours).
inline DibFixture Fixture(unsigned bits, std::uint32_t width, std::uint32_t height, std::vector<DibColour> palette = {},
                          std::uint32_t seed = 1, std::int32_t pelsPerMeter = k300Dpi) {
  DibFixture f;
  f.bitsPerPixel = bits;
  f.width = width;
  f.height = height;
  f.palette = std::move(palette);
  f.seed = seed;
  f.xPelsPerMeter = f.yPelsPerMeter = pelsPerMeter;
  return f;
}

// A 24-bit bitmap whose every pixel `colour(x, y)` gives (top row first).
inline std::vector<std::uint8_t> PaintedDib(
    std::uint32_t width, std::uint32_t height,
    const std::function<folvane::test::Rgb(std::uint32_t, std::uint32_t)>& colour) {
  folvane::test::TestDib dib = MakeDib(Fixture(24, width, height));
  const std::uint32_t stride = (width * 3 + 3) / 4 * 4;
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* row = dib.bytes.data() + 40 + std::size_t{height - 1 - y} * stride;  // bottom-up
    for (std::uint32_t x = 0; x < width; ++x) {
      const folvane::test::Rgb c = colour(x, y);
      row[x * 3] = c.b;
      row[x * 3 + 1] = c.g;
      row[x * 3 + 2] = c.r;
    }
  }
  return dib.bytes;
}

struct DecodedPng {
  std::uint32_t width = 0, height = 0;
  int channels = 0;  // 1 grey, 3 RGB
  std::vector<std::uint8_t> pixels;

  double Mean(int channel) const {
    double sum = 0;
    for (std::size_t i = static_cast<std::size_t>(channel); i < pixels.size(); i += static_cast<std::size_t>(channels))
      sum += pixels[i];
    return sum / (static_cast<double>(width) * height);
  }
};

// The PNG as it is stored: grey stays grey, RGB stays RGB.
inline DecodedPng DecodePng(const std::vector<std::uint8_t>& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  const bool grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
  image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
  DecodedPng out{image.width, image.height, grey ? 1 : 3, std::vector<std::uint8_t>(PNG_IMAGE_SIZE(image))};
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr)) return {};
  return out;
}

// A tmpfs of `bytes` mounted at `dir` in a mount namespace of this test
// process's own, so nothing of it is seen outside or outlives the process.
// Ok() is false where the process may not do that (not root, a container
// without the right): the caller skips.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::filesystem::path& dir, std::size_t bytes) : dir_(dir) {
    std::filesystem::create_directories(dir);
    if (unshare(CLONE_NEWNS) != 0) return;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
    mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool Ok() const { return mounted_; }

 private:
  std::filesystem::path dir_;
  bool mounted_ = false;
};

inline std::vector<std::string> FilesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error))
    names.push_back(entry.path().filename().string());
  return names;
}

}  // namespace bidder::desk::test
