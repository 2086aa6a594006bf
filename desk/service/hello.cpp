#include "desk/service/hello.h"

#include <nlohmann/json.hpp>

#include "desk/rpc/response.h"

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
  using rpc::Value;
  return rpc::WriteNotification(rpc::kSessionReady, Value(Value::Object{
                                                        {"key", Value(sessionKey)},
                                                        {"instance", Value(instance)},
                                                        {"api", Value(kApiVersion)},
                                                    }));
}

}  // namespace bidder::desk
