#pragma once
// The rule for a connection's peer: only this OS user's processes are
// served. Another user's process is closed unanswered, and so is one whose
// owner cannot be found, unless the test switch says to trust those.
#include <cstdint>
#include <optional>

#include "desk/server/server.h"

namespace bidder::desk {

PeerDecision JudgePeerOwner(std::optional<std::uint32_t> owner, std::uint32_t serviceUser, bool trustUnknownOwner);

// The check the Linux service hands its server: the owner from the kernel's
// socket tables, against this process's user.
PeerCheck SameUserCheck(bool trustUnknownOwner);

}  // namespace bidder::desk
