#include "desk/access/peer_owner.h"

#include <cstring>
#include <string>

#include "desk/access/ascii_text.h"

namespace bidder::desk {
namespace {

// The kernel's state numbers (include/net/tcp_states.h).
constexpr std::uint32_t kTimeWait = 0x06;

std::optional<std::uint32_t> ParseHex32(std::string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    std::uint32_t digit = 0;
    if (IsAsciiDigit(c)) {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return value;
}

// "0100007F:1F90" (IPv4) or 32 hex digits and a port (IPv6). The kernel
// prints each 32-bit word of the address as a number in its own byte order,
// so the word's bytes in memory are the address's bytes.
std::optional<TcpEndpoint> ParseEndpoint(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || (colon != 8 && colon != 32)) return std::nullopt;
  const std::optional<std::uint32_t> port = ParseHex32(text.substr(colon + 1));
  if (!port || *port > 0xFFFF || text.size() - colon - 1 != 4) return std::nullopt;
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t word = 0; word < colon / 8; ++word) {
    const std::optional<std::uint32_t> value = ParseHex32(text.substr(word * 8, 8));
    if (!value) return std::nullopt;
    std::memcpy(bytes.data() + word * 4, &*value, 4);
  }
  const auto port16 = static_cast<std::uint16_t>(*port);
  if (colon == 8) return TcpEndpoint::Ipv4({bytes[0], bytes[1], bytes[2], bytes[3]}, port16);
  return TcpEndpoint::Ipv6(bytes, port16);
}

// The whitespace-separated fields of a line, as many as fit in `fields`.
std::size_t SplitFields(std::string_view line, std::span<std::string_view> fields) {
  std::size_t count = 0;
  while (count < fields.size()) {
    line = TrimBlanks(line);
    if (line.empty()) break;
    std::size_t end = 0;
    while (end < line.size() && !IsAsciiBlank(line[end])) ++end;
    fields[count++] = line.substr(0, end);
    line.remove_prefix(end);
  }
  return count;
}

struct Owner {
  std::optional<std::uint32_t> uid;
  bool conflicting = false;

  void Add(std::uint32_t found) {
    if (uid && *uid != found) conflicting = true;
    uid = found;
  }
};

// "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid ..."
void SearchTable(std::string_view table, const TcpEndpoint& service, const TcpEndpoint& peer, Owner& owner) {
  constexpr std::size_t kLocal = 1, kRemote = 2, kState = 3, kUid = 7;
  while (!table.empty()) {
    const std::size_t end = table.find('\n');
    const std::string_view line = table.substr(0, end);
    table = end == std::string_view::npos ? std::string_view() : table.substr(end + 1);
    std::array<std::string_view, kUid + 1> fields;
    if (SplitFields(line, fields) < fields.size()) continue;
    const std::optional<TcpEndpoint> local = ParseEndpoint(fields[kLocal]);
    const std::optional<TcpEndpoint> remote = ParseEndpoint(fields[kRemote]);
    if (!local || !remote || *local != peer || *remote != service) continue;
    const std::optional<std::uint32_t> state = ParseHex32(fields[kState]);
    const std::optional<std::uint32_t> uid = ParseDecimal(fields[kUid]);
    if (!state || !uid || *state == kTimeWait) continue;
    owner.Add(*uid);
  }
}

}  // namespace

TcpEndpoint TcpEndpoint::Ipv4(const std::array<std::uint8_t, 4>& address, std::uint16_t port) {
  TcpEndpoint endpoint;
  endpoint.address[10] = 0xFF;
  endpoint.address[11] = 0xFF;
  std::memcpy(endpoint.address.data() + 12, address.data(), 4);
  endpoint.port = port;
  return endpoint;
}

TcpEndpoint TcpEndpoint::Ipv6(const std::array<std::uint8_t, 16>& address, std::uint16_t port) {
  return TcpEndpoint{address, port};
}

std::optional<std::uint32_t> FindPeerOwner(std::span<const std::string_view> tables, const TcpEndpoint& service,
                                           const TcpEndpoint& peer) {
  Owner owner;
  for (std::string_view table : tables) SearchTable(table, service, peer, owner);
  if (owner.conflicting) return std::nullopt;
  return owner.uid;
}

}  // namespace bidder::desk
