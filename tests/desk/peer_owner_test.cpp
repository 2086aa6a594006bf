#include "desk/access/peer_owner.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "desk/access/peer_owner_proc.h"

namespace bidder::desk {
namespace {

// The fixtures are written as a little-endian kernel prints its tables.
constexpr bool kLittleEndian = std::endian::native == std::endian::little;

const TcpEndpoint kService4 = TcpEndpoint::Ipv4({127, 0, 0, 1}, 47380);
const TcpEndpoint kPeer4 = TcpEndpoint::Ipv4({127, 0, 0, 1}, 51000);
const TcpEndpoint kService6 = TcpEndpoint::Ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 47380);
const TcpEndpoint kPeer6 = TcpEndpoint::Ipv6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 51000);

// 47380 is 0xB914, 51000 is 0xC738.
constexpr char kTcpHeader[] =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
constexpr char kTcp[] =
    "   0: 0100007F:B914 00000000:0000 0A 00000000:00000000 00:00000000 00000000   1000        0 4101 1 0 100 0 0 10 0\n"
    // The service's own end of the connection: local and remote the other way round.
    "   1: 0100007F:B914 0100007F:C738 01 00000000:00000000 00:00000000 00000000   1000        0 4102 1 0 20 4 30 10 -1\n"
    "   2: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000   1001        0 4103 1 0 20 4 30 10 -1\n"
    // The same local port may be connected to another service as well.
    "   3: 0100007F:C738 0100007F:B915 01 00000000:00000000 00:00000000 00000000   1009        0 4104 1 0 20 4 30 10 -1\n";
constexpr char kTcp6[] =
    "   0: 00000000000000000000000001000000:C738 00000000000000000000000001000000:B914 01 00000000:00000000 "
    "00:00000000 00000000  1002        0 5101 1 0 20 4 30 10 -1\n"
    // An IPv6 socket of the peer connected to 127.0.0.1: listed v4-mapped.
    "   1: 0000000000000000FFFF00000100007F:C739 0000000000000000FFFF00000100007F:B914 01 00000000:00000000 "
    "00:00000000 00000000  1003        0 5102 1 0 20 4 30 10 -1\n";

std::optional<std::uint32_t> Find(std::initializer_list<std::string_view> tables, const TcpEndpoint& service,
                                  const TcpEndpoint& peer) {
  return FindPeerOwner(std::span<const std::string_view>(tables.begin(), tables.size()), service, peer);
}

TEST(PeerOwner, FindsThePeersSocketInEitherTable) {
  if (!kLittleEndian) GTEST_SKIP() << "fixtures in little-endian order";
  const std::string tcp = std::string(kTcpHeader) + kTcp;
  const std::string tcp6 = std::string(kTcpHeader) + kTcp6;
  EXPECT_EQ(Find({tcp, tcp6}, kService4, kPeer4), 1001u);  // not the service's own entry (1000)
  EXPECT_EQ(Find({tcp, tcp6}, kService6, kPeer6), 1002u);
  EXPECT_EQ(Find({tcp, tcp6}, kService4, TcpEndpoint::Ipv4({127, 0, 0, 1}, 51001)), 1003u);
  EXPECT_EQ(Find({tcp, tcp6}, kService6, TcpEndpoint::Ipv6(kPeer6.address, 51001)), std::nullopt);
  EXPECT_EQ(Find({tcp, tcp6}, kService4, TcpEndpoint::Ipv4({127, 0, 0, 1}, 51002)), std::nullopt);
  EXPECT_EQ(Find({tcp}, kService6, kPeer6), std::nullopt);
  EXPECT_EQ(Find({}, kService4, kPeer4), std::nullopt);
}

TEST(PeerOwner, NoOwnerIsNeverAGuess) {
  if (!kLittleEndian) GTEST_SKIP() << "fixtures in little-endian order";
  constexpr char kPeerLine[] =
      "   2: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000   1001        0 4103\n";
  // TIME_WAIT entries print uid 0 whoever owned the socket.
  constexpr char kTimeWait[] =
      "   3: 0100007F:C738 0100007F:B914 06 00000000:00000000 03:00001770 00000000     0        0 0 3\n";
  constexpr char kOtherOwner[] =
      "   4: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000   1005        0 4104\n";
  EXPECT_EQ(Find({kTimeWait}, kService4, kPeer4), std::nullopt);
  EXPECT_EQ(Find({std::string(kTimeWait) + kPeerLine}, kService4, kPeer4), 1001u);
  EXPECT_EQ(Find({kPeerLine, kOtherOwner}, kService4, kPeer4), std::nullopt);
  EXPECT_EQ(Find({kPeerLine, kPeerLine}, kService4, kPeer4), 1001u);
}

TEST(PeerOwner, SkipsMalformedLines) {
  if (!kLittleEndian) GTEST_SKIP() << "fixtures in little-endian order";
  const std::string_view malformed[] = {
      "   2: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000",  // cut before the uid
      "   2: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000 4294967296 0 1",
      "   2: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000 -1 0 1",
      "   2: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000 1x 0 1",
      "   2: 0100007G:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000 1001 0 1",
      "   2: 100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000 1001 0 1",
      "   2: 0100007F:C7380 0100007F:B914 01 00000000:00000000 00:00000000 00000000 1001 0 1",
      "   2: 0100007F:0C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000 1001 0 1",
      "   2: 0100007F:C73 0100007F:B914 01 00000000:00000000 00:00000000 00000000 1001 0 1",
      "   2: 0100007F: 0100007F:B914 01 00000000:00000000 00:00000000 00000000 1001 0 1",
      "   2: 0100007F:C738 0100007F:B914 0x 00000000:00000000 00:00000000 00000000 1001 0 1",
      "   2: 0000000000000000FFFF00000100007:C738 0100007F:B914 01 0:0 0:0 0 1001 0 1",
      std::string_view("   2: 0100007F:C738\0 0100007F:B914 01 0:0 0:0 0 1001 0 1", 56),
      "\xff\xfe\xfd",
      ":",
      "",
  };
  const std::string good =
      "   2: 0100007F:C738 0100007F:B914 01 00000000:00000000 00:00000000 00000000   1001        0 4103";
  for (std::string_view line : malformed) {
    EXPECT_EQ(Find({line}, kService4, kPeer4), std::nullopt) << line;
    // One bad line spoils nothing around it, whatever ends it.
    EXPECT_EQ(Find({std::string(line) + "\n" + good + "\n"}, kService4, kPeer4), 1001u) << line;
    EXPECT_EQ(Find({good + "\r\n" + std::string(line)}, kService4, kPeer4), 1001u) << line;
  }
}

// A file descriptor closed when its owner goes.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

sockaddr_storage LoopbackAddress(int family, std::uint16_t port, bool v4Mapped = false) {
  sockaddr_storage address{};
  if (family == AF_INET) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::memcpy(&address, &v4, sizeof v4);
  } else {
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    inet_pton(AF_INET6, v4Mapped ? "::ffff:127.0.0.1" : "::1", &v6.sin6_addr);
    std::memcpy(&address, &v6, sizeof v6);
  }
  return address;
}

socklen_t SizeOf(const sockaddr_storage& address) {
  return address.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
}

struct LoopbackConnection {
  Fd listener;
  Fd client;
  Fd accepted;  // the service's end
};

// A listener of `listenFamily` on loopback, a client socket of `clientFamily`
// connected to it (an IPv6 client to an IPv4 listener through ::ffff:127.0.0.1)
// and the accepted end. Empty where this machine lacks the family.
std::optional<LoopbackConnection> Connect(int listenFamily, int clientFamily) {
  LoopbackConnection connection;
  connection.listener = Fd(socket(listenFamily, SOCK_STREAM, 0));
  sockaddr_storage bound = LoopbackAddress(listenFamily, 0);
  socklen_t boundSize = SizeOf(bound);
  if (connection.listener.get() < 0 ||
      bind(connection.listener.get(), reinterpret_cast<const sockaddr*>(&bound), boundSize) != 0 ||
      listen(connection.listener.get(), 1) != 0 ||
      getsockname(connection.listener.get(), reinterpret_cast<sockaddr*>(&bound), &boundSize) != 0) {
    return std::nullopt;
  }
  std::uint16_t port = 0;
  if (listenFamily == AF_INET) {
    sockaddr_in v4;
    std::memcpy(&v4, &bound, sizeof v4);
    port = ntohs(v4.sin_port);
  } else {
    sockaddr_in6 v6;
    std::memcpy(&v6, &bound, sizeof v6);
    port = ntohs(v6.sin6_port);
  }
  connection.client = Fd(socket(clientFamily, SOCK_STREAM, 0));
  const sockaddr_storage target = LoopbackAddress(clientFamily, port, clientFamily != listenFamily);
  if (connection.client.get() < 0 ||
      connect(connection.client.get(), reinterpret_cast<const sockaddr*>(&target), SizeOf(target)) != 0) {
    return std::nullopt;
  }
  connection.accepted = Fd(accept(connection.listener.get(), nullptr, nullptr));
  if (connection.accepted.get() < 0) return std::nullopt;
  return connection;
}

TEST(PeerOwnerOfSocket, FindsThisUserOverRealLoopbackConnections) {
  const struct {
    const char* what;
    int listenFamily;
    int clientFamily;
    bool required;
  } cases[] = {
      {"IPv4", AF_INET, AF_INET, true},
      {"IPv6", AF_INET6, AF_INET6, false},
      {"IPv6 client, IPv4 service", AF_INET, AF_INET6, false},
  };
  for (const auto& c : cases) {
    const std::optional<LoopbackConnection> connection = Connect(c.listenFamily, c.clientFamily);
    if (!connection) {
      EXPECT_FALSE(c.required) << c.what << ": no loopback connection";
      continue;
    }
    EXPECT_EQ(FindPeerOwnerOfSocket(connection->accepted.get()), static_cast<std::uint32_t>(getuid())) << c.what;
    // A socket with no peer has no peer's owner.
    EXPECT_EQ(FindPeerOwnerOfSocket(connection->listener.get()), std::nullopt) << c.what;
  }
  EXPECT_EQ(FindPeerOwnerOfSocket(-1), std::nullopt);
}

}  // namespace
}  // namespace bidder::desk
