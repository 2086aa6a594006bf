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

  // The file keeps a resolution as a single-precision value: the limit is
  // checked on what will be stored.
  auto fits = [](std::uint32_t pixels, double dpi) {
    return pixels * 72.0 / static_cast<float>(dpi) <= kMaxPageSideUnits;
  };
  if (fits(width, r.xDpi) && fits(height, r.yDpi)) return r;
  // Smallest whole dpi on each axis that keeps both sides within the limit,
  // both axes raised by the same factor.
  const double factor = std::max(width * 72.0 / kMaxPageSideUnits / r.xDpi, height * 72.0 / kMaxPageSideUnits / r.yDpi);
  auto raise = [factor, &fits](std::uint32_t pixels, double dpi) {
    double whole = std::max(1.0, std::ceil(dpi * factor - 1e-9));
    while (!fits(pixels, whole)) whole += 1;
    return whole;
  };
  r.xDpi = raise(width, r.xDpi);
  r.yDpi = raise(height, r.yDpi);
  return r;
}

}  // namespace folvane
