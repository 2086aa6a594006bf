#include "acquire/page_resolution.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace folvane {
namespace {

constexpr double kMetresPerInch = 0.0254;
// Well above the finest film scanner; a larger value is a broken header.
constexpr double kMaxPlausibleDpi = 100000.0;

std::optional<double> DpiFromPelsPerMeter(std::int32_t pelsPerMeter) {
  if (pelsPerMeter <= 0) return std::nullopt;
  const double exact = pelsPerMeter * kMetresPerInch;
  if (exact > kMaxPlausibleDpi) return std::nullopt;
  const double whole = std::round(exact);
  if (whole >= 1 && std::fabs(whole / kMetresPerInch - pelsPerMeter) <= 1.0) return whole;
  return exact;
}

}  // namespace

PageResolution ChoosePageResolution(std::int32_t xPelsPerMeter, std::int32_t yPelsPerMeter, std::uint32_t width,
                                    std::uint32_t height) {
  const auto x = DpiFromPelsPerMeter(xPelsPerMeter);
  const auto y = DpiFromPelsPerMeter(yPelsPerMeter);
  PageResolution r;
  // One stated axis stands for both: pixels are square far more often than not.
  if (x && y) r = {*x, *y};
  else if (x) r = {*x, *x};
  else if (y) r = {*y, *y};

  // Smallest dpi that keeps each side within the limit: pixels * 72 / dpi <= 14400.
  // The file stores a resolution as a single-precision fraction: a side within
  // that rounding of the limit is raised too, to a whole dpi stored exactly.
  const double limit = kMaxPageSideUnits * (1.0 - 1e-6);
  const double needX = width * 72.0 / limit;
  const double needY = height * 72.0 / limit;
  const double factor = std::max({needX / r.xDpi, needY / r.yDpi, 1.0});
  if (factor > 1.0) {
    r.xDpi = std::ceil(r.xDpi * factor);
    r.yDpi = std::ceil(r.yDpi * factor);
  }
  return r;
}

}  // namespace folvane
