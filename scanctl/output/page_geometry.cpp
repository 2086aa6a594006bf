#include "page_geometry.h"

#include <algorithm>
#include <cmath>

namespace folvane {

PageSize PageSizeForImage(std::uint32_t widthPixels, std::uint32_t heightPixels, double xDpi, double yDpi) {
  // One usable value stands for both (square pixels).
  if (!IsUsableDpi(xDpi)) xDpi = IsUsableDpi(yDpi) ? yDpi : kDefaultDpi;
  if (!IsUsableDpi(yDpi)) yDpi = xDpi;
  PageSize size{widthPixels * 72.0 / xDpi, heightPixels * 72.0 / yDpi};
  const double longer = std::max(size.width, size.height);
  if (longer > kMaxPageSideUnits) {
    const double scale = kMaxPageSideUnits / longer;
    size.width = std::min(size.width * scale, kMaxPageSideUnits);
    size.height = std::min(size.height * scale, kMaxPageSideUnits);
  }
  return size;
}

}  // namespace folvane
