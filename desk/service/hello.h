#pragma once
// What the service tells a page about itself: the answer to GET /v1/hello
// and the session.ready notification that opens every WebSocket session.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bidder::desk {

inline constexpr int kApiVersion = 1;

// The limits a page is told. A sealed tender with its scans runs to a few
// hundred megabytes; a blob may be up to 4 GiB, and the work directory holds
// up to 16 GiB at once (a document, its PDF and a sealed copy, for a few pages).
inline constexpr std::uint64_t kBlobBytesLimit = std::uint64_t{4} << 30;
inline constexpr std::uint64_t kWorkBytesLimit = std::uint64_t{16} << 30;

struct ServiceFacts {
  std::string version;   // the project's version, X.Y.Z
  std::string instance;  // random, new for every run: a page learns the service restarted
  int scanners = 0;
  bool token = false;
  std::vector<std::string> features;
  std::uint64_t blobBytes = 0;  // the largest blob, in or out
  std::uint64_t workBytes = 0;  // everything in the work directory at once
};

std::string HelloJson(const ServiceFacts& facts);

// The key is the session's secret: it goes to the page and nowhere else.
std::string SessionReadyJson(std::string_view sessionKey, std::string_view instance);

}  // namespace bidder::desk
