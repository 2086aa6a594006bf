#include "desk/access/request_gate.h"

#include "desk/access/ascii_text.h"
#include "desk/access/host_check.h"

namespace bidder::desk {
namespace {

// Not CORS headers: they keep any answer, a refusal too, out of caches and
// away from content sniffing.
void AddSafetyHeaders(std::vector<HttpHeader>& headers) {
  headers.push_back({"Cache-Control", "no-store"});
  headers.push_back({"X-Content-Type-Options", "nosniff"});
}

GateDecision Forbidden(const char* reason) {
  GateDecision decision;
  decision.reason = reason;
  AddSafetyHeaders(decision.headers);
  return decision;
}

std::vector<HttpHeader> AllowedOriginHeaders(std::string_view origin) {
  std::vector<HttpHeader> headers{{"Access-Control-Allow-Origin", std::string(origin)}, {"Vary", "Origin"}};
  AddSafetyHeaders(headers);
  return headers;
}

bool IsAllowedMethod(std::string_view method) { return method == "GET" || method == "POST"; }

std::string_view PathOf(std::string_view target) { return target.substr(0, target.find('?')); }

bool IsBlobPath(std::string_view path) { return path == "/v1/blobs" || path.starts_with("/v1/blobs/"); }

bool IsToken68Char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_' ||
         c == '~' || c == '+' || c == '/';
}

// "Bearer <token68>", the scheme in any case; empty when the value is not that.
std::string_view BearerKey(std::string_view authorization) {
  authorization = TrimBlanks(authorization);
  constexpr std::string_view kScheme = "bearer ";
  if (authorization.size() <= kScheme.size() || !EqualsIgnoringCase(authorization.substr(0, kScheme.size()), kScheme)) {
    return {};
  }
  const std::string_view key = TrimBlanks(authorization.substr(kScheme.size()));
  std::size_t end = 0;
  while (end < key.size() && IsToken68Char(key[end])) ++end;
  if (end == 0) return {};
  for (std::size_t i = end; i < key.size(); ++i) {
    if (key[i] != '=') return {};
  }
  return key;
}

}  // namespace

GateDecision DecideRequest(const RequestHead& request, const OriginList& origins, std::uint16_t servicePort) {
  if (!request.host || !IsServiceHost(*request.host, servicePort)) return Forbidden("host");
  // A page the user was sent to (a link, a form, a typed address) would let
  // another site drive the service through the user's own clicks.
  if (request.secFetchMode && EqualsIgnoringCase(TrimBlanks(*request.secFetchMode), "navigate")) return Forbidden("navigate");
  if (!request.origin || !origins.Allows(*request.origin)) return Forbidden("origin");
  // Only origin-form targets: the path the gate judges is the path served.
  if (!request.target.starts_with('/')) return Forbidden("target");
  // Echoed as normalised, not as sent: the value is then known to be plain.
  const std::string origin = NormalizeOrigin(*request.origin).origin.value_or(std::string());

  if (request.method == "OPTIONS" && request.accessControlRequestMethod) {
    if (!IsAllowedMethod(TrimBlanks(*request.accessControlRequestMethod))) return Forbidden("preflight-method");
    GateDecision preflight{GateVerdict::kPreflight, 204, AllowedOriginHeaders(origin), {}, "preflight"};
    preflight.headers.push_back({"Access-Control-Allow-Methods", kAllowedMethods});
    preflight.headers.push_back({"Access-Control-Allow-Headers", kAllowedRequestHeaders});
    if (request.accessControlRequestPrivateNetwork &&
        EqualsIgnoringCase(TrimBlanks(*request.accessControlRequestPrivateNetwork), "true")) {
      preflight.headers.push_back({"Access-Control-Allow-Private-Network", "true"});
    }
    preflight.headers.push_back({"Access-Control-Max-Age", std::to_string(kPreflightMaxAgeSeconds)});
    return preflight;
  }

  if (!IsAllowedMethod(request.method)) {
    GateDecision refused{GateVerdict::kRefused, 405, AllowedOriginHeaders(origin), {}, "method"};
    refused.headers.push_back({"Allow", kAllowedMethods});
    return refused;
  }
  GateDecision proceed{GateVerdict::kProceed, 0, AllowedOriginHeaders(origin), {}, "allowed"};
  if (IsBlobPath(PathOf(request.target))) {
    const std::string_view key = request.authorization ? BearerKey(*request.authorization) : std::string_view();
    if (key.empty()) {
      GateDecision refused{GateVerdict::kRefused, 401, std::move(proceed.headers), {}, "bearer"};
      refused.headers.push_back({"WWW-Authenticate", "Bearer"});
      return refused;
    }
    proceed.sessionKey = std::string(key);
  }
  return proceed;
}

}  // namespace bidder::desk
