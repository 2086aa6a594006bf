#include "extent_record.h"

namespace ax {
namespace {

// VARTYPE values (wtypes.h), fixed by the format.
constexpr std::uint16_t kVtI4 = 3;
constexpr std::uint16_t kVtUi4 = 19;

std::uint32_t Little(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < size; ++i) v |= std::uint32_t{bytes[at + i]} << (8 * i);
  return v;
}

}  // namespace

ExtentRecord ParseExtentRecord(std::span<const std::uint8_t> bytes) {
  ExtentRecord record;
  if (bytes.size() < 4) return record;
  if (Little(bytes, 0, 4) > kExtentRecordVersion) return {ExtentRecordStatus::kRefused};
  std::int32_t* sizes[] = {&record.cx, &record.cy};
  std::size_t at = 4;
  for (std::int32_t* size : sizes) {
    if (bytes.size() < at + 2) return {ExtentRecordStatus::kShort};
    const auto type = static_cast<std::uint16_t>(Little(bytes, at, 2));
    if (type != kVtUi4 && type != kVtI4) return {ExtentRecordStatus::kRefused};
    if (bytes.size() < at + 6) return {ExtentRecordStatus::kShort};
    const std::uint32_t raw = Little(bytes, at + 2, 4);
    // An extent is a size: a negative or huge one is not a state to restore.
    if (raw > 0x7FFFFFFFu) return {ExtentRecordStatus::kRefused};
    *size = static_cast<std::int32_t>(raw);
    at += 6;
  }
  record.status = ExtentRecordStatus::kRead;
  return record;
}

std::array<std::uint8_t, kExtentRecordSize> FormatExtentRecord(std::int32_t cx, std::int32_t cy) {
  std::array<std::uint8_t, kExtentRecordSize> bytes{};
  std::size_t at = 0;
  auto put = [&](std::uint32_t v, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes[at++] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put(kExtentRecordVersion, 4);
  put(kVtUi4, 2);
  put(static_cast<std::uint32_t>(cx), 4);
  put(kVtUi4, 2);
  put(static_cast<std::uint32_t>(cy), 4);
  return bytes;
}

}  // namespace ax
