#pragma once
// The decision over one HTTP request (a WebSocket upgrade included) from its
// request line and headers alone, before any body byte is read or any blob
// is touched. The server asks once per request and does what it is told; it
// adds the returned headers to whatever it answers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desk/access/origin_list.h"

namespace bidder::desk {

struct HttpHeader {
  std::string name;
  std::string value;
  bool operator==(const HttpHeader&) const = default;
};

// What the gate reads of a request; an absent header is an empty optional.
struct RequestHead {
  std::string_view method;  // as sent (HTTP methods are case-sensitive)
  std::string_view target;  // the request target, "/v1/hello"
  std::optional<std::string_view> host;
  std::optional<std::string_view> origin;
  std::optional<std::string_view> secFetchMode;
  std::optional<std::string_view> accessControlRequestMethod;
  std::optional<std::string_view> accessControlRequestPrivateNetwork;
  std::optional<std::string_view> authorization;
};

enum class GateVerdict {
  kForbidden,  // answer 403 with `headers` (no CORS headers: the page learns nothing)
  kPreflight,  // answer 204 with `headers`: a CORS preflight, nothing else to do
  kRefused,    // answer `status` (401, 405) with `headers`: an allowed page's mistake
  kProceed,    // serve the request; every answer carries `headers`
};

struct GateDecision {
  GateVerdict verdict = GateVerdict::kForbidden;
  int status = 403;  // 403, 204, 401 or 405; 0 with kProceed (the handler's own)
  std::vector<HttpHeader> headers;
  // With kProceed on a blob request: the Bearer key, for the server to match
  // against the sessions of this origin. Empty elsewhere.
  std::string sessionKey;
  // Which rule decided, for the service's log line ("host", "origin", ...);
  // never sent to the page, which must learn nothing from a refusal.
  const char* reason = "";
};

// The methods a page may use, and how long a browser may keep a preflight's answer.
inline constexpr char kAllowedMethods[] = "GET, POST";
inline constexpr char kAllowedRequestHeaders[] = "Authorization, Content-Type";
inline constexpr int kPreflightMaxAgeSeconds = 600;

// Requests to blobs ("/v1/blobs" and below) carry "Authorization: Bearer <session key>".
GateDecision DecideRequest(const RequestHead& request, const OriginList& origins, std::uint16_t servicePort);

}  // namespace bidder::desk
