#pragma once
// The OS user behind the other end of a loopback TCP connection, read from
// the kernel's socket tables as Linux prints them (/proc/net/tcp and
// /proc/net/tcp6). The service closes, unanswered, a connection whose peer
// belongs to another user, and one whose owner cannot be found: no answer
// here is ever a guess.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace bidder::desk {

// One end of a TCP connection. IPv4 addresses are held as IPv6 v4-mapped
// ones (::ffff:a.b.c.d), as a dual-stack socket sees them, so that an IPv4
// connection matches whichever table the peer's socket is listed in.
struct TcpEndpoint {
  std::array<std::uint8_t, 16> address{};  // network byte order
  std::uint16_t port = 0;

  static TcpEndpoint Ipv4(const std::array<std::uint8_t, 4>& address, std::uint16_t port);
  static TcpEndpoint Ipv6(const std::array<std::uint8_t, 16>& address, std::uint16_t port);
  bool operator==(const TcpEndpoint&) const = default;
};

// The owner (uid) of the socket whose own end is `peer` and whose other end
// is `service`, searched in the text of the kernel's tables (each table's
// whole text; the header line and malformed lines are skipped). Empty when
// no table lists it, when it is listed only in TIME_WAIT (the kernel shows
// no owner there), or when two entries disagree. Addresses in the tables are
// read in this machine's byte order, as the kernel writes them.
std::optional<std::uint32_t> FindPeerOwner(std::span<const std::string_view> tables, const TcpEndpoint& service,
                                           const TcpEndpoint& peer);

}  // namespace bidder::desk
