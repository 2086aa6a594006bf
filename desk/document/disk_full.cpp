#include "desk/document/disk_full.h"

#include <cerrno>
#include <system_error>

namespace bidder::desk {

bool FailedForSpace(int savedErrno, const std::filesystem::path& folder, std::uint64_t wantedBytes) {
  if (savedErrno == ENOSPC) return true;
#ifdef EDQUOT
  // Over the user's quota: to the user, the same full disk.
  if (savedErrno == EDQUOT) return true;
#endif
  std::error_code error;
  const std::filesystem::space_info space = std::filesystem::space(folder, error);
  if (error || space.available == static_cast<std::uintmax_t>(-1)) return false;
  return space.available < wantedBytes;
}

}  // namespace bidder::desk
