#pragma once
// The persisted form of a control's extent, shared by IPersistStreamInit and
// IPersistStorage (stream "Contents"): a 32-bit format version (0x0800), then
// the width and the height, each as a VARTYPE (VT_UI4) and a 32-bit value,
// little-endian. Versions above 0x0800 are refused; VT_I4 values are read too.
// Portable: the bytes come from any container's stream, untrusted.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ax {

inline constexpr std::uint32_t kExtentRecordVersion = 0x0800;
inline constexpr std::size_t kExtentRecordSize = 4 + 2 * (2 + 4);

enum class ExtentRecordStatus {
  kRead,
  kShort,    // the bytes end before the record does
  kRefused,  // a later version, another type, or a negative or huge size
};

struct ExtentRecord {
  ExtentRecordStatus status = ExtentRecordStatus::kShort;
  std::int32_t cx = 0, cy = 0;  // for kRead
};

// The record at the start of `bytes` (what follows it is not looked at). A
// field that is refused counts even when the bytes end after it, as when the
// record is read field by field.
ExtentRecord ParseExtentRecord(std::span<const std::uint8_t> bytes);

// The record as written: version 0x0800, both sizes as VT_UI4.
std::array<std::uint8_t, kExtentRecordSize> FormatExtentRecord(std::int32_t cx, std::int32_t cy);

}  // namespace ax
