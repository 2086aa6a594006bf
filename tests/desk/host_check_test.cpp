#include "desk/access/host_check.h"

#include <gtest/gtest.h>

namespace bidder::desk {
namespace {

TEST(HostCheck, OnlyTheLoopbackNamesWithTheServicePort) {
  constexpr std::uint16_t kPort = 47380;
  const struct {
    const char* host;
    bool accepted;
  } cases[] = {
      {"127.0.0.1:47380", true},
      {"localhost:47380", true},
      {"LocalHost:47380", true},
      {"[::1]:47380", true},
      {" localhost:47380\t", true},
      {"127.0.0.1", false},
      {"localhost", false},
      {"[::1]", false},
      {"127.0.0.1:47381", false},
      {"127.0.0.1:047380", false},
      {"127.0.0.1:+47380", false},
      {"127.0.0.1:", false},
      {"localhost.:47380", false},
      {"127.0.0.2:47380", false},
      {"0.0.0.0:47380", false},
      {"[::]:47380", false},
      {"[0:0:0:0:0:0:0:1]:47380", false},
      {"::1:47380", false},
      {"tender.example.cn:47380", false},
      {"localhost.tender.example.cn:47380", false},
      {"127.0.0.1.nip.io:47380", false},
      {"user@localhost:47380", false},
      {"", false},
      {":47380", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsServiceHost(c.host, kPort), c.accepted) << c.host;
  EXPECT_TRUE(IsServiceHost("localhost:47389", 47389));
  EXPECT_FALSE(IsServiceHost("localhost:47380", 47389));
}

}  // namespace
}  // namespace bidder::desk
