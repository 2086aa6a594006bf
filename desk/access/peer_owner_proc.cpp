#include "desk/access/peer_owner_proc.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string>
#include <string_view>

#include "desk/access/text_file.h"

namespace bidder::desk {
namespace {

// A line is about 150 bytes: room for hundreds of thousands of sockets.
constexpr std::size_t kMaxTableBytes = 64u << 20;

std::optional<TcpEndpoint> EndpointOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    sockaddr_in v4;
    std::memcpy(&v4, &address, sizeof v4);
    std::array<std::uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &v4.sin_addr, bytes.size());
    return TcpEndpoint::Ipv4(bytes, ntohs(v4.sin_port));
  }
  if (address.ss_family == AF_INET6) {
    sockaddr_in6 v6;
    std::memcpy(&v6, &address, sizeof v6);
    std::array<std::uint8_t, 16> bytes;
    std::memcpy(bytes.data(), &v6.sin6_addr, bytes.size());
    return TcpEndpoint::Ipv6(bytes, ntohs(v6.sin6_port));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint32_t> FindPeerOwnerInProc(const TcpEndpoint& service, const TcpEndpoint& peer) {
  const TextFile v4 = ReadTextFile("/proc/net/tcp", kMaxTableBytes);
  const TextFile v6 = ReadTextFile("/proc/net/tcp6", kMaxTableBytes);
  // A table that exists but cannot be read might hold an entry that
  // disagrees with the other one: no answer then.
  if (v4.status == TextFileStatus::kUnreadable || v6.status == TextFileStatus::kUnreadable) return std::nullopt;
  const std::string_view tables[] = {v4.text, v6.text};
  return FindPeerOwner(tables, service, peer);
}

std::optional<std::uint32_t> FindPeerOwnerOfSocket(int connectedSocket) {
  sockaddr_storage own{};
  sockaddr_storage peer{};
  socklen_t ownSize = sizeof own;
  socklen_t peerSize = sizeof peer;
  if (getsockname(connectedSocket, reinterpret_cast<sockaddr*>(&own), &ownSize) != 0 ||
      getpeername(connectedSocket, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
    return std::nullopt;
  }
  const std::optional<TcpEndpoint> serviceEnd = EndpointOf(own);
  const std::optional<TcpEndpoint> peerEnd = EndpointOf(peer);
  if (!serviceEnd || !peerEnd) return std::nullopt;
  return FindPeerOwnerInProc(*serviceEnd, *peerEnd);
}

}  // namespace bidder::desk
