#include "output/png_writer.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "pagefile/file_ops.h"

namespace folvane {
namespace {

constexpr std::size_t kFileBufferSize = 256 * 1024;

// libpng reports a failure by calling this and expects it not to return.
// Nothing is printed: the caller reports the outcome.
[[noreturn]] void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnPngWarning(png_structp, png_const_charp) {}

int PngColourType(RowColour c) {
  switch (c) {
    case RowColour::kPalette: return PNG_COLOR_TYPE_PALETTE;
    case RowColour::kRgb: return PNG_COLOR_TYPE_RGB;
    case RowColour::kRgba: return PNG_COLOR_TYPE_RGB_ALPHA;
    default: return PNG_COLOR_TYPE_GRAY;
  }
}

// libpng leaves this function by longjmp on any error, so it holds no object
// with a destructor; everything it uses belongs to the caller.
PngWriteStatus WriteRows(png_structp png, png_infop info, std::FILE* file, TiffPageReader& source,
                         const png_color* palette, int paletteSize, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return PngWriteStatus::kOutputFailed;
  const RowFormat& f = source.Format();
  png_init_io(png, file);
  png_set_IHDR(png, info, f.width, f.height, f.bitDepth, PngColourType(f.colour), PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (f.colour == RowColour::kPalette) png_set_PLTE(png, info, palette, paletteSize);
  png_set_compression_level(png, 1);
  // Fixed filters: choosing one per row costs more than it saves at level 1.
  // Packed and palette pixels gain nothing from differencing.
  png_set_filter(png, PNG_FILTER_TYPE_BASE,
                 f.bitDepth < 8 || f.colour == RowColour::kPalette ? PNG_FILTER_NONE : PNG_FILTER_SUB);
  png_write_info(png, info);
  for (std::uint32_t y = 0; y < f.height; ++y) {
    if (!source.ReadRow(row)) return PngWriteStatus::kSourceFailed;
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  return PngWriteStatus::kWritten;
}

}  // namespace

PngWriteStatus WritePng(TiffPageReader& source, const std::string& path) {
  const RowFormat& f = source.Format();
  std::vector<png_color> palette;
  for (const auto& c : f.palette) palette.push_back({c.red, c.green, c.blue});
  std::vector<png_byte> row(f.RowBytes());
  auto buffer = std::make_unique<char[]>(kFileBufferSize);

  FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) return PngWriteStatus::kOutputFailed;
  std::setvbuf(file.get(), buffer.get(), _IOFBF, kFileBufferSize);

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  PngWriteStatus status = PngWriteStatus::kOutputFailed;
  if (info) {
    try {
      status = WriteRows(png, info, file.get(), source, palette.data(), static_cast<int>(palette.size()), row.data());
    } catch (const std::bad_alloc&) {  // from the source; libpng's own state is released below
      status = PngWriteStatus::kSourceFailed;
    }
  }
  if (png) png_destroy_write_struct(&png, &info);
  // Buffered bytes reach the disk here; a full disk shows now.
  if (std::fclose(file.release()) != 0 && status == PngWriteStatus::kWritten) status = PngWriteStatus::kOutputFailed;
  // Never a partial picture under the page's name.
  if (status != PngWriteStatus::kWritten) RemoveFileIfPresent(path);
  return status;
}

}  // namespace folvane
