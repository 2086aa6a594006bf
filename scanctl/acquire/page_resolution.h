#pragma once
// The resolution written into a page file, in dots per inch.
//
// A scanner states its resolution in pixels per metre. Scanners that work in
// whole dots per inch state the rounded metric value (300 dpi -> 11811), so a
// value within one pixel per metre of a whole dpi is taken as that whole dpi;
// any other value is kept exactly.
//
// A bitmap without a usable resolution (0, negative, or outside the range of
// pagefile/page_limits.h, which the PDF output also applies) gets 96 dpi: what Windows assumes for such a bitmap, so a page bound into a
// PDF has the size the user's viewers show for the picture at 100 %.
// A page side may not exceed 14400 PDF units (200 inches); when the pixels at
// the chosen resolution would, both axes are raised by the same factor to the
// smallest whole dpi that fits, keeping the page's proportions (but never past
// the largest usable resolution: the PDF output then scales such a page down).
#include <cstdint>

#include "pagefile/page_limits.h"

namespace folvane {

// For a bitmap without a resolution. (A foreign TIFF without one is bound at
// 72 dpi instead: see output/page_geometry.h.)
inline constexpr double kDefaultPageDpi = 96.0;

struct PageResolution {
  double xDpi = kDefaultPageDpi;
  double yDpi = kDefaultPageDpi;
};

PageResolution ChoosePageResolution(std::int32_t xPelsPerMeter, std::int32_t yPelsPerMeter, std::uint32_t width,
                                    std::uint32_t height);

}  // namespace folvane
