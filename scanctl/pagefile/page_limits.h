#pragma once
// The limits a page file keeps, in one place: page capture refuses to store
// a page the outputs (PDF and PNG) would refuse to read, and both outputs
// apply them to whatever file sits under a page file's name. Resolutions and
// page sizes are shared the same way: capture never stores a resolution that
// binding would set aside, and both size a page against the same longest side.
// What is refused and why, for every reader of untrusted bytes: docs/hardening.md.
#include <cmath>
#include <cstdint>

namespace folvane {

// PDF readers refuse page sides above this many units (1/72 inch each).
inline constexpr double kMaxPageSideUnits = 14400.0;

// Resolutions outside this range, in dots per inch, are not believed: below
// one dot per inch is no scan, above the upper bound is a broken header.
inline constexpr double kMinUsableDpi = 1.0;
inline constexpr double kMaxUsableDpi = 100000.0;

inline bool IsUsableDpi(double dpi) { return std::isfinite(dpi) && dpi >= kMinUsableDpi && dpi <= kMaxUsableDpi; }

// A side of more pixels than any scanner gives, or more decoded bytes than
// fit comfortably in a 32-bit process, is refused.
inline constexpr std::uint32_t kMaxImageSide = 1u << 17;
inline constexpr std::uint64_t kMaxDecodedBytes = 512ull << 20;
// Readers that decode whole strips or rows of tiles at a time (tiled files,
// files stored bottom row first, colour models only libtiff's RGBA
// conversion handles) hold one such unit in memory: it may take this much,
// both in the file's own samples and as 32-bit pixels.
inline constexpr std::uint64_t kMaxUnitBytes = 64ull << 20;
// Decoding costs time in proportion to the decoded bytes, which codecs can
// draw from very few stored bytes: beyond the first kFreeDecodedBytes, a
// page must store one byte in its strips or tiles for every
// kMaxDecodedPerStoredByte bytes it decodes to (more than Deflate, PackBits
// or LZW ever reach; only page files made to hurt, or huge blank bilevel
// pages, come near it).
inline constexpr std::uint64_t kFreeDecodedBytes = 64ull << 20;
inline constexpr std::uint64_t kMaxDecodedPerStoredByte = 4096;

// The bytes a page decodes to, rows padded to whole bytes. Sides up to 2^32
// and up to 2^16 bits per pixel keep this within 64 bits.
inline std::uint64_t DecodedPageBytes(std::uint32_t width, std::uint32_t height, std::uint64_t bitsPerPixel) {
  return (std::uint64_t{width} * bitsPerPixel + 7) / 8 * height;
}

// Whether a page of these sides and depth stays within the size limits.
inline bool PageSizeWithinLimits(std::uint32_t width, std::uint32_t height, std::uint64_t bitsPerPixel) {
  return width != 0 && height != 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         DecodedPageBytes(width, height, bitsPerPixel) <= kMaxDecodedBytes;
}

// Whether `storedBytes` in strips or tiles are enough for `decodedBytes`.
inline bool StoredBytesSuffice(std::uint64_t decodedBytes, std::uint64_t storedBytes) {
  return decodedBytes <= kFreeDecodedBytes || decodedBytes / kMaxDecodedPerStoredByte < storedBytes;
}

}  // namespace folvane
