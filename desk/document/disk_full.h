#pragma once
// Whether a failed write failed for want of space, so that the page can tell
// the user to free some ("disk-full") rather than show a generic failure.
// The scanning control's writers report only that they failed; the system's
// error code usually survives their clean-up, and where it does not, the
// free space tells.
#include <cstdint>
#include <filesystem>

namespace bidder::desk {

// `savedErrno`: errno as the failed call left it (cleared before the call).
// `wantedBytes`: about what the write needed; a volume with less free space
// than that counts as full.
bool FailedForSpace(int savedErrno, const std::filesystem::path& folder, std::uint64_t wantedBytes);

}  // namespace bidder::desk
