#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "desk/service/hello.h"
#include "desk/service/same_user.h"

namespace bidder::desk {
namespace {

using nlohmann::json;

TEST(Hello, StatesTheServiceAndItsLimits) {
  ServiceFacts facts;
  facts.version = "1.2.3";
  facts.instance = "00ff";
  facts.scanners = 2;
  facts.token = true;
  facts.features = {"compact"};
  facts.blobBytes = kBlobBytesLimit;
  facts.workBytes = kWorkBytesLimit;
  const json hello = json::parse(HelloJson(facts));
  EXPECT_EQ(hello, json::parse(R"({"service":"bidder-desk","version":"1.2.3","api":1,"instance":"00ff",
      "scanners":2,"token":true,"features":["compact"],
      "limits":{"blobBytes":4294967296,"workBytes":17179869184}})"));

  const json ready = json::parse(SessionReadyJson("k3y", "00ff"));
  EXPECT_EQ(ready, json::parse(R"({"jsonrpc":"2.0","method":"session.ready",
      "params":{"key":"k3y","instance":"00ff","api":1}})"));
}

TEST(SameUser, ServesOnlyTheServicesOwnUser) {
  struct Case {
    std::optional<std::uint32_t> owner;
    bool trustUnknown;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {1000, false, true},           {1001, false, false}, {0, false, false},
      {1001, true, false},           // the switch never lets another user in
      {std::nullopt, false, false},  {std::nullopt, true, true},
  };
  for (const Case& c : cases) {
    const PeerDecision decision = JudgePeerOwner(c.owner, 1000, c.trustUnknown);
    EXPECT_EQ(decision.allowed, c.allowed) << c.owner.value_or(99999) << " " << c.trustUnknown;
    EXPECT_FALSE(decision.why.empty());
  }
}

TEST(SameUser, ComparesWindowsUsersByTheirSid) {
  const std::string service = "S-1-5-21-1-2-3-1001";
  struct Case {
    std::optional<std::string> owner;
    std::string serviceSid;
    bool trustUnknown;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {service, service, false, true},
      {"S-1-5-21-1-2-3-1002", service, false, false},
      {"S-1-5-21-1-2-3-1002", service, true, false},
      {"S-1-5-18", service, false, false},  // the system account is another user too
      {std::nullopt, service, false, false},
      {std::nullopt, service, true, true},
      {std::string(), service, false, false},
      {std::string(), service, true, true},
      {std::string(), std::string(), false, false},
      {service, std::string(), false, false},  // a service that cannot name its user serves no named one
  };
  for (const Case& c : cases) {
    const PeerDecision decision = JudgePeerSid(c.owner, c.serviceSid, c.trustUnknown);
    EXPECT_EQ(decision.allowed, c.allowed) << c.owner.value_or("(none)") << " / " << c.serviceSid << " " << c.trustUnknown;
    EXPECT_FALSE(decision.why.empty());
  }
}

}  // namespace
}  // namespace bidder::desk
