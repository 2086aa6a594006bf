#include "acquire/page_resolution.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace folvane {
namespace {

constexpr double kMetresPerInch = 0.0254;

// The file keeps a resolution as a single-precision value: limits are checked
// on what will be stored.
float Stored(double dpi) { return static_cast<float>(dpi); }

std::optional<double> DpiFromPelsPerMeter(std::int32_t pelsPerMeter) {
  if (pelsPerMeter <= 0) return std::nullopt;
  const double exact = pelsPerMeter * kMetresPerInch;
  const double whole = std::round(exact);
  const double dpi = whole >= 1 && std::fabs(whole / kMetresPerInch - pelsPerMeter) <= 1.0 ? whole : exact;
  if (!IsUsableDpi(Stored(dpi))) return std::nullopt;
  return dpi;
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

  auto fits = [](std::uint32_t pixels, double dpi) { return pixels * 72.0 / Stored(dpi) <= kMaxPageSideUnits; };
  if (fits(width, r.xDpi) && fits(height, r.yDpi)) return r;
  // Smallest whole dpi on each axis that keeps both sides within the limit,
  // both axes raised by the same factor; a page too wide even at the largest
  // usable resolution keeps that one.
  const double factor = std::max(width * 72.0 / kMaxPageSideUnits / r.xDpi, height * 72.0 / kMaxPageSideUnits / r.yDpi);
  auto raise = [factor, &fits](std::uint32_t pixels, double dpi) {
    double whole = std::max(1.0, std::ceil(dpi * factor - 1e-9));
    while (whole < kMaxUsableDpi && !fits(pixels, whole)) whole += 1;
    return std::min(whole, kMaxUsableDpi);
  };
  r.xDpi = raise(width, r.xDpi);
  r.yDpi = raise(height, r.yDpi);
  return r;
}

}  // namespace folvane
