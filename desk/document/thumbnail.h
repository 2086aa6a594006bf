#pragma once
// The size of a page's thumbnail (ThumbnailPng in document_output.h makes
// it): the page's proportions, the longest side at most `maxSide`, never
// larger than the page, never a side of 0.
#include <cstdint>

namespace bidder::desk {

struct PixelSize {
  std::uint32_t width = 0, height = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

PixelSize ThumbnailSize(PixelSize page, std::uint32_t maxSide);

}  // namespace bidder::desk
