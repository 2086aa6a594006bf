#include "desk/service/service_log.h"

#include <ctime>

namespace bidder::desk {

std::unique_ptr<ServiceLog> ServiceLog::OpenFile(const std::string& path) {
  // Not inherited by programs the service starts: "e" on POSIX, "N" for Windows' C library.
#ifdef _WIN32
  FilePtr file = OpenFileUtf8(path, "aN");
#else
  FilePtr file = OpenFileUtf8(path, "ae");
#endif
  if (!file) return nullptr;
  return std::unique_ptr<ServiceLog>(new ServiceLog(std::move(file)));
}

void ServiceLog::Line(std::string_view text) {
  char stamp[32] = "";
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  const bool converted = gmtime_s(&utc, &now) == 0;
#else
  const bool converted = gmtime_r(&now, &utc) != nullptr;
#endif
  if (converted) std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  const std::lock_guard lock(mutex_);
  std::fprintf(Stream(), "%s %.*s\n", stamp, static_cast<int>(text.size()), text.data());
  std::fflush(Stream());
}

}  // namespace bidder::desk
