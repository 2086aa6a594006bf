#include "page_geometry.h"

#include <algorithm>
#include <cmath>

namespace folvane {
namespace {

constexpr double kMinBelievableDpi = 1;
constexpr double kMaxBelievableDpi = 100000;

bool Believable(double dpi) { return std::isfinite(dpi) && dpi >= kMinBelievableDpi && dpi <= kMaxBelievableDpi; }

}  // namespace

PageSize PageSizeForImage(std::uint32_t widthPixels, std::uint32_t heightPixels, double xDpi, double yDpi) {
  // One usable value stands for both (square pixels).
  if (!Believable(xDpi)) xDpi = Believable(yDpi) ? yDpi : kDefaultDpi;
  if (!Believable(yDpi)) yDpi = xDpi;
  PageSize size{widthPixels * 72.0 / xDpi, heightPixels * 72.0 / yDpi};
  const double longer = std::max(size.width, size.height);
  if (longer > kMaxPageSide) {
    const double scale = kMaxPageSide / longer;
    size.width = std::min(size.width * scale, kMaxPageSide);
    size.height = std::min(size.height * scale, kMaxPageSide);
  }
  return size;
}

}  // namespace folvane
