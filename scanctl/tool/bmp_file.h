#pragma once
// A bitmap file (.bmp): BITMAPFILEHEADER, then the DIB header and colour
// table, then the bits at the offset the file header gives.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace folvane {

// The bitmap as a packed DIB (header, table and bits back to back), as a
// scanner's native transfer delivers it; nullopt when the file is not a
// bitmap file or its parts do not fit in it.
std::optional<std::vector<std::uint8_t>> PackedDibFromBmpFile(std::span<const std::uint8_t> file);

}  // namespace folvane
