#pragma once
// A small picture as PNG bytes in memory (thumbnails travel inside a JSON
// notification, never through a file).
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace bidder::desk {

// `pixels`: rows top first, `channels` (1: 8-bit grey, 3: 8-bit RGB) bytes
// per pixel, no padding. nullopt on a size that does not match, or when
// memory runs out.
std::optional<std::vector<std::uint8_t>> EncodePng(std::uint32_t width, std::uint32_t height, int channels,
                                                   std::span<const std::uint8_t> pixels);

}  // namespace bidder::desk
