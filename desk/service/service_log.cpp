#include "desk/service/service_log.h"

#include <ctime>

namespace bidder::desk {

std::unique_ptr<ServiceLog> ServiceLog::OpenFile(const std::string& path) {
  FilePtr file(std::fopen(path.c_str(), "ae"));  // "e": not inherited by programs the service starts
  if (!file) return nullptr;
  return std::unique_ptr<ServiceLog>(new ServiceLog(std::move(file)));
}

void ServiceLog::Line(std::string_view text) {
  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  if (gmtime_r(&now, &utc)) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  const std::lock_guard lock(mutex_);
  std::fprintf(Stream(), "%s %.*s\n", stamp, static_cast<int>(text.size()), text.data());
  std::fflush(Stream());
}

}  // namespace bidder::desk
