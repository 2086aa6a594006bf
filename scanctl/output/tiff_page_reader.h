#pragma once
// Reads a page file (or any TIFF image libtiff can decode) row by row, top row
// first, so that at most a band of rows is in memory. Page files as the
// scanning control writes them come back in their own form (bilevel, grey,
// palette, RGB); anything else comes back as 8-bit RGB or RGBA through
// libtiff's generic colour conversion. Files are untrusted: every size is
// checked, and a damaged file is an error, never a crash.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace folvane {

enum class RowColour { kGrey, kPalette, kRgb, kRgba };

struct RowFormat {
  std::uint32_t width = 0, height = 0;
  int bitDepth = 8;  // 1, 2, 4 or 8; grey 0 is black
  RowColour colour = RowColour::kGrey;
  struct Rgb {
    std::uint8_t red, green, blue;
  };
  std::vector<Rgb> palette;  // 2^bitDepth entries for kPalette

  std::size_t RowBytes() const;
};

class TiffPageReader {
 public:
  virtual ~TiffPageReader() = default;
  // nullptr when the file is missing, not a TIFF, or has no image we can decode.
  static std::unique_ptr<TiffPageReader> Open(const std::string& path);

  const RowFormat& Format() const { return format_; }
  // The next row into `row` (Format().RowBytes() long); false on a decoding error.
  virtual bool ReadRow(std::uint8_t* row) = 0;

 protected:
  RowFormat format_;
};

}  // namespace folvane
