#pragma once
// The limits on page sizes and resolutions that page capture and the PDF
// output share: capture never stores a resolution that binding would set
// aside, and both size a page against the same longest side.
#include <cmath>

namespace folvane {

// PDF readers refuse page sides above this many units (1/72 inch each).
inline constexpr double kMaxPageSideUnits = 14400.0;

// Resolutions outside this range, in dots per inch, are not believed: below
// one dot per inch is no scan, above the upper bound is a broken header.
inline constexpr double kMinUsableDpi = 1.0;
inline constexpr double kMaxUsableDpi = 100000.0;

inline bool IsUsableDpi(double dpi) { return std::isfinite(dpi) && dpi >= kMinUsableDpi && dpi <= kMaxUsableDpi; }

}  // namespace folvane
