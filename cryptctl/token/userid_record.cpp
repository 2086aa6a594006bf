#include "token/userid_record.h"

#include <algorithm>

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

}  // namespace lockvale
