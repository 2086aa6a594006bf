#pragma once
// The names of this machine's loopback interface as a browser writes them in
// an origin or a Host header (lower case, IPv6 in brackets). Only these may
// use plain http in the allow-list, and only these may name the service.
#include <string_view>

namespace bidder::desk {

inline bool IsLoopbackHostName(std::string_view lowerCaseHost) {
  return lowerCaseHost == "127.0.0.1" || lowerCaseHost == "localhost" || lowerCaseHost == "[::1]";
}

}  // namespace bidder::desk
