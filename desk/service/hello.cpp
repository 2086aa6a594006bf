#include "desk/service/hello.h"

#include <nlohmann/json.hpp>

namespace bidder::desk {

std::string HelloJson(const ServiceFacts& facts) {
  const nlohmann::json hello = {
      {"service", "bidder-desk"},
      {"version", facts.version},
      {"api", kApiVersion},
      {"instance", facts.instance},
      {"scanners", facts.scanners},
      {"token", facts.token},
      {"features", facts.features},
      {"limits", {{"blobBytes", facts.blobBytes}, {"workBytes", facts.workBytes}}},
  };
  return hello.dump();
}

std::string SessionReadyJson(std::string_view sessionKey, std::string_view instance) {
  const nlohmann::json ready = {
      {"jsonrpc", "2.0"},
      {"method", "session.ready"},
      {"params", {{"key", sessionKey}, {"instance", instance}, {"api", kApiVersion}}},
  };
  return ready.dump();
}

}  // namespace bidder::desk
