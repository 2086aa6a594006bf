#pragma once
// The size of a PDF page that shows an image at its natural size.
#include <cstdint>

namespace folvane {

struct PageSize {
  double width = 0;   // PDF units (1/72 inch)
  double height = 0;
};

// PDF readers refuse page sides above this many units.
inline constexpr double kMaxPageSide = 14400;
// Used for an image whose file gives no believable resolution: one pixel per
// unit, the size every PDF reader would give the image unscaled.
inline constexpr double kDefaultDpi = 72;

// pixels x 72 / dpi on each side. A resolution outside 1..100000 dpi counts
// as missing; a page that would exceed kMaxPageSide is scaled down as a whole
// (keeping its shape) until its longer side fits.
PageSize PageSizeForImage(std::uint32_t widthPixels, std::uint32_t heightPixels, double xDpi, double yDpi);

}  // namespace folvane
