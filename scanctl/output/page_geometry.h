#pragma once
// The size of a PDF page that shows an image at its natural size.
#include <cstdint>

#include "pagefile/page_limits.h"

namespace folvane {

struct PageSize {
  double width = 0;   // PDF units (1/72 inch)
  double height = 0;
};

// Used for an image whose file gives no usable resolution: one pixel per
// unit, the size every PDF reader would give the image unscaled. (Page
// capture gives a bitmap without a resolution 96 dpi, so our own page files
// always state one.)
inline constexpr double kDefaultDpi = 72;

// pixels x 72 / dpi on each side. A resolution that IsUsableDpi refuses counts
// as missing; a page that would exceed kMaxPageSideUnits is scaled down as a whole
// (keeping its shape) until its longer side fits.
PageSize PageSizeForImage(std::uint32_t widthPixels, std::uint32_t heightPixels, double xDpi, double yDpi);

}  // namespace folvane
