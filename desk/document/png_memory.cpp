#include "desk/document/png_memory.h"

#include <png.h>

#include <new>

namespace bidder::desk {
namespace {

// libpng reports failures by calling this and expects it not to return.
[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

// No exception may cross libpng's C frames: running out of memory becomes
// libpng's own error, raised once nothing here needs unwinding.
void AppendBytes(png_structp png, png_bytep data, std::size_t size) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  bool appended = true;
  try {
    out->insert(out->end(), data, data + size);
  } catch (...) {
    appended = false;
  }
  if (!appended) png_error(png, "out of memory");
}

void NoFlush(png_structp) {}

// libpng leaves this function by longjmp on any error, so it holds no object
// with a destructor.
bool WriteImage(png_structp png, png_infop info, std::vector<std::uint8_t>* out, std::uint32_t width,
                std::uint32_t height, int channels, const std::uint8_t* pixels) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, width, height, 8, channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const std::size_t rowBytes = std::size_t{width} * static_cast<std::size_t>(channels);
  for (std::uint32_t y = 0; y < height; ++y) png_write_row(png, pixels + std::size_t{y} * rowBytes);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> EncodePng(std::uint32_t width, std::uint32_t height, int channels,
                                                   std::span<const std::uint8_t> pixels) {
  if (width == 0 || height == 0 || (channels != 1 && channels != 3)) return std::nullopt;
  if (width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX) return std::nullopt;
  const std::uint64_t size = std::uint64_t{width} * height * static_cast<std::uint64_t>(channels);
  if (size != pixels.size()) return std::nullopt;

  std::vector<std::uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool written = false;
  if (info) {
    try {
      out.reserve(static_cast<std::size_t>(size / 2) + 1024);
      written = WriteImage(png, info, &out, width, height, channels, pixels.data());
    } catch (const std::bad_alloc&) {  // the reserve; libpng's own state is released below
    }
  }
  if (png) png_destroy_write_struct(&png, &info);
  if (!written) return std::nullopt;
  return out;
}

}  // namespace bidder::desk
