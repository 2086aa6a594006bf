#pragma once
// The encoded bytes of a page image's stream, wherever they are kept: in
// memory when re-encoded, in the page file when passed through.
#include <cstdint>
#include <vector>

#include "output/page_image.h"
#include "pagefile/file_ops.h"

namespace folvane::test {

inline std::vector<std::uint8_t> StreamBytes(const PageImage& image) {
  if (!image.passedThrough) return image.data;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(image.strip.length));
  if (!image.strip.file || !SeekFile(image.strip.file.get(), static_cast<std::int64_t>(image.strip.offset), SEEK_SET) ||
      std::fread(bytes.data(), 1, bytes.size(), image.strip.file.get()) != bytes.size())
    return {};
  return bytes;
}

}  // namespace folvane::test
