#pragma once
// The owner of a loopback connection's peer on this Linux machine, from
// /proc/net/tcp and /proc/net/tcp6 (the second may be absent: no IPv6).
#include <cstdint>
#include <optional>

#include "desk/access/peer_owner.h"

namespace bidder::desk {

// Reads the kernel's tables now; empty as FindPeerOwner says, or when no
// table can be read.
std::optional<std::uint32_t> FindPeerOwnerInProc(const TcpEndpoint& service, const TcpEndpoint& peer);

// The same for an accepted (or connected) socket: its own address is the
// service's end, its peer's address the peer's end. Empty when the socket
// has no such ends (not TCP over IPv4 or IPv6, not connected).
std::optional<std::uint32_t> FindPeerOwnerOfSocket(int connectedSocket);

}  // namespace bidder::desk
