// The Windows service's same-user rule: the decision with owners of the
// test's own, then the system's lookup on a connection this process holds at
// both ends.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "desk/service/same_user.h"

namespace bidder::desk {
namespace {

TEST(SameUserWindows, ServesOnlyTheServicesOwnSid) {
  const std::optional<std::string> own = ServiceUserSid();
  ASSERT_TRUE(own.has_value());
  ASSERT_TRUE(own->starts_with("S-1-")) << *own;
  const std::string other = "S-1-5-21-1004336348-1177238915-682003330-1013";
  ASSERT_NE(*own, other);

  struct Case {
    std::optional<std::string> owner;
    bool trustUnknown;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {*own, false, true},
      {*own, true, true},
      {other, false, false},
      {other, true, false},  // the switch never lets another user in
      {std::nullopt, false, false},
      {std::nullopt, true, true},
      {std::string(), false, false},  // a lookup that found an empty name found nobody
  };
  for (const Case& c : cases) {
    const PeerCheck check =
        SameUserCheck(c.trustUnknown, [&c](std::intptr_t) { return c.owner; });
    const PeerDecision decision = check(0);
    EXPECT_EQ(decision.allowed, c.allowed) << c.owner.value_or("(none)") << " trusted " << c.trustUnknown;
    EXPECT_FALSE(decision.why.empty());
  }
}

// Sockets of the test, closed when it ends.
struct Socket {
  SOCKET s = INVALID_SOCKET;
  explicit Socket(SOCKET socket) : s(socket) {}
  ~Socket() {
    if (s != INVALID_SOCKET) closesocket(s);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
};

struct Winsock {
  Winsock() {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~Winsock() {
    if (ok) WSACleanup();
  }
  bool ok = false;
};

TEST(SameUserWindows, FindsThisProcessAsTheOwnerOfItsOwnConnection) {
  Winsock winsock;
  ASSERT_TRUE(winsock.ok);
  Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  ASSERT_EQ(bind(listener.s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener.s, 1), 0);
  ASSERT_EQ(getsockname(listener.s, reinterpret_cast<sockaddr*>(&address), &length), 0);
  Socket client(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_EQ(connect(client.s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  Socket accepted(accept(listener.s, nullptr, nullptr));
  ASSERT_NE(accepted.s, INVALID_SOCKET);

  // A socket that is no connection has no peer, and so no owner.
  EXPECT_EQ(FindPeerOwnerSid(static_cast<std::intptr_t>(listener.s)), std::nullopt);
  const std::optional<std::string> owner = FindPeerOwnerSid(static_cast<std::intptr_t>(accepted.s));
  if (!owner) {
    // Refused, as the rule says, unless trusted.
    EXPECT_FALSE(SameUserCheck(false)(static_cast<std::intptr_t>(accepted.s)).allowed);
    GTEST_SKIP() << "this system's TCP table names no owning process (Wine 8 lists every connection with pid 0)";
  }
  EXPECT_EQ(owner, ServiceUserSid());
  EXPECT_TRUE(SameUserCheck(false)(static_cast<std::intptr_t>(accepted.s)).allowed);
}

}  // namespace
}  // namespace bidder::desk
