#pragma once
// What the scanner tests share: a sink that keeps what it is given, and
// pixels read back from a packed DIB.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "acquire/dib.h"
#include "desk/scan/scanner.h"

namespace bidder::desk::scan_test {

class CollectingSink : public ScanSink {
 public:
  bool OnPage(std::span<const std::uint8_t> packedDib) override {
    pages.emplace_back(packedDib.begin(), packedDib.end());
    return onPage ? onPage(pages.size()) : true;
  }
  void OnStatus(std::string_view status) override { statuses.emplace_back(status); }

  std::vector<std::vector<std::uint8_t>> pages;
  std::vector<std::string> statuses;
  std::function<bool(std::size_t pagesSoFar)> onPage;
};

// The colour of pixel (x, y), y counted from the top.
inline folvane::DibColour PixelAt(const folvane::DibView& dib, std::uint32_t x, std::uint32_t y) {
  const std::uint8_t* row = dib.Row(y);
  switch (dib.BitsPerPixel()) {
    case 24:
      return {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    case 8:
      return dib.PaletteColour(row[x]);
    case 1:
      return dib.PaletteColour((row[x / 8] >> (7 - x % 8)) & 1);
    default:
      return {};
  }
}

}  // namespace bidder::desk::scan_test
