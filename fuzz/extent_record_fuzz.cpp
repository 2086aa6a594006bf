// The control's persisted extent, as a container's stream or storage hands
// it back: any bytes are read or refused, and an extent that is read is
// written as a record that reads back the same, every shorter part of
// which is short.
#include <cstdlib>
#include <span>

#include "axframework/extent_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ax::ExtentRecord record = ax::ParseExtentRecord(std::span(data, size));
  if (record.status != ax::ExtentRecordStatus::kRead) return 0;
  if (record.cx < 0 || record.cy < 0) std::abort();
  const auto bytes = ax::FormatExtentRecord(record.cx, record.cy);
  const ax::ExtentRecord again = ax::ParseExtentRecord(bytes);
  if (again.status != ax::ExtentRecordStatus::kRead || again.cx != record.cx || again.cy != record.cy) std::abort();
  for (std::size_t n = 0; n < bytes.size(); ++n)
    if (ax::ParseExtentRecord(std::span(bytes.data(), n)).status != ax::ExtentRecordStatus::kShort) std::abort();
  return 0;
}
