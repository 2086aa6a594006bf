#include "desk/service/same_user.h"

#include <string>

namespace bidder::desk {

PeerDecision JudgePeerOwner(std::optional<std::uint32_t> owner, std::uint32_t serviceUser, bool trustUnknownOwner) {
  if (!owner) {
    if (trustUnknownOwner) return {true, "owner unknown, trusted by --trust-unknown-peers"};
    return {false, "owner unknown"};
  }
  if (*owner != serviceUser) return {false, "another user (uid " + std::to_string(*owner) + ")"};
  return {true, "same user"};
}

}  // namespace bidder::desk
