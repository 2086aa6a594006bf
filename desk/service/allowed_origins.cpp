#include "desk/service/allowed_origins.h"

namespace bidder::desk {

OriginList GatherOrigins(const std::vector<std::string>& listFiles, const std::vector<std::string>& commandLineOrigins,
                         const LogLine& log) {
  OriginList origins;
  std::vector<RefusedOrigin> refused;
  for (const std::string& file : listFiles) {
    if (origins.AddFile(file, refused) == TextFileStatus::kUnreadable) {
      log("origin list " + file + " not read: unreadable or too large");
    }
  }
  for (const std::string& value : commandLineOrigins) origins.AddValue(value, refused);
  for (const RefusedOrigin& entry : refused) {
    const std::string where = entry.line ? entry.source + ":" + std::to_string(entry.line) : entry.source;
    log("origin refused (" + where + ") " + entry.text + ": " + entry.reason);
  }
  if (origins.Origins().empty()) log("no origin is allowed: every page is refused");
  for (const std::string& origin : origins.Origins()) log("origin allowed: " + origin);
  return origins;
}

}  // namespace bidder::desk
