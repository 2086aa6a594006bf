#include "desk/service/same_user.h"

namespace bidder::desk {

PeerDecision JudgePeerOwner(std::optional<std::uint32_t> owner, std::uint32_t serviceUser, bool trustUnknownOwner) {
  if (!owner) {
    if (trustUnknownOwner) return {true, "owner unknown, trusted by --trust-unknown-peers"};
    return {false, "owner unknown"};
  }
  if (*owner != serviceUser) return {false, "another user (uid " + std::to_string(*owner) + ")"};
  return {true, "same user"};
}

PeerDecision JudgePeerSid(const std::optional<std::string>& ownerSid, const std::string& serviceSid,
                          bool trustUnknownOwner) {
  if (!ownerSid || ownerSid->empty()) {
    if (trustUnknownOwner) return {true, "owner unknown, trusted by --trust-unknown-peers"};
    return {false, "owner unknown"};
  }
  // A service that cannot name its own user serves nobody it can name.
  if (serviceSid.empty() || *ownerSid != serviceSid) return {false, "another user (" + *ownerSid + ")"};
  return {true, "same user"};
}

}  // namespace bidder::desk
