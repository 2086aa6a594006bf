#include "token/userid_record.h"

#include <algorithm>
#include <cstdio>

namespace lockvale {

std::string UserIdFromRecord(const UserIdRecord& record) {
  const auto end = std::find(record.begin(), record.end(), kUserIdTerminator);
  const auto textEnd = std::find(record.begin(), end, std::uint8_t{0});
  return std::string(record.begin(), textEnd);
}

std::optional<UserIdRecord> RecordForUserId(std::string_view userId) {
  if (userId.size() > kMaxUserIdBytes) return std::nullopt;
  for (char c : userId) {
    if (static_cast<std::uint8_t>(c) == kUserIdTerminator || c == '\0') return std::nullopt;
  }
  UserIdRecord record;
  record.fill(kUserIdTerminator);
  std::copy(userId.begin(), userId.end(), record.begin());
  return record;
}

std::string SerialNumberText(std::string_view property) {
  std::uint32_t serial = 0;
  for (std::size_t i = 0; i < 4 && i < property.size(); ++i) {
    serial |= static_cast<std::uint32_t>(static_cast<unsigned char>(property[i])) << (8 * i);
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(serial));
  return text;
}

}  // namespace lockvale
