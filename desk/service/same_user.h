#pragma once
// The rule for a connection's peer: only this OS user's processes are
// served. Another user's process is closed unanswered, and so is one whose
// owner cannot be found, unless the test switch says to trust those.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "desk/server/server.h"

namespace bidder::desk {

// POSIX: users are uids.
PeerDecision JudgePeerOwner(std::optional<std::uint32_t> owner, std::uint32_t serviceUser, bool trustUnknownOwner);
// Windows: users are SIDs in their text form ("S-1-5-21-..."), which is canonical.
PeerDecision JudgePeerSid(const std::optional<std::string>& ownerSid, const std::string& serviceSid,
                          bool trustUnknownOwner);

// The check the service hands its server: the owner from the system's
// socket tables, against this process's user.
PeerCheck SameUserCheck(bool trustUnknownOwner);

#ifdef _WIN32
// The SID of the user whose process holds the other end of an accepted
// socket; empty when it cannot be found (no such connection in the system's
// table, a process of another session that cannot be opened, a peer that is
// no Windows process at all).
using PeerOwnerLookup = std::function<std::optional<std::string>(std::intptr_t nativeSocket)>;

// The owner through the TCP tables (GetExtendedTcpTable) and the owning
// process's token.
std::optional<std::string> FindPeerOwnerSid(std::intptr_t nativeSocket);
// This process's user; empty only when the system will not say.
std::optional<std::string> ServiceUserSid();

// SameUserCheck with the owner found by `lookup` (tests give owners of their own).
PeerCheck SameUserCheck(bool trustUnknownOwner, PeerOwnerLookup lookup);
#endif

}  // namespace bidder::desk
