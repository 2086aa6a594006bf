#include "desk/access/origin.h"

#include <cstdint>

#include "desk/access/ascii_text.h"
#include "desk/access/loopback_host.h"

namespace bidder::desk {
namespace {

constexpr char kShape[] = "not an origin: https://host[:port] expected";

NormalizedOrigin Refuse(std::string reason) { return {std::nullopt, std::move(reason)}; }

bool IsHostNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsAsciiDigit(c) || c == '-' || c == '_';
}

bool IsHexDigit(char c) { return IsAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Dot-separated labels, none empty: "example.com", "127.0.0.1". A trailing
// dot names another origin in a browser's eyes, so it is refused rather than
// silently matching nothing.
bool IsHostName(std::string_view host) {
  std::size_t labelLength = 0;
  for (char c : host) {
    if (c == '.') {
      if (labelLength == 0) return false;
      labelLength = 0;
    } else if (IsHostNameChar(c)) {
      ++labelLength;
    } else {
      return false;
    }
  }
  return labelLength > 0;
}

// "[...]" holding hex digits, colons and dots (an embedded IPv4 tail).
bool IsBracketedIpv6(std::string_view host) {
  if (host.size() < 4 || host.front() != '[' || host.back() != ']') return false;
  for (char c : host.substr(1, host.size() - 2)) {
    if (!IsHexDigit(c) && c != ':' && c != '.') return false;
  }
  return host.find(':') != std::string_view::npos;
}

// 1 to 65535 in decimal; leading zeros are read as browsers read them.
std::optional<std::uint32_t> ParsePort(std::string_view digits) {
  const std::optional<std::uint32_t> value = ParseDecimal(digits);
  if (!value || *value == 0 || *value > 65535) return std::nullopt;
  return value;
}

bool HasNonAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

}  // namespace

NormalizedOrigin NormalizeOrigin(std::string_view text) {
  text = TrimBlanks(text);
  if (text.empty()) return Refuse("empty");
  if (EqualsIgnoringCase(text, "null")) {
    return Refuse("the null origin (sandboxed frames, local files, some redirects) is never allowed");
  }
  if (text.find('*') != std::string_view::npos) return Refuse("wildcards are not allowed: list each origin");
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return Refuse(kShape);
  const std::string scheme = AsciiLower(text.substr(0, colon));
  if (scheme == "file") return Refuse("file origins are never allowed");
  if (scheme != "https" && scheme != "http") return Refuse("only https origins are allowed, and http for loopback hosts");
  if (text.substr(colon + 1, 2) != "//") return Refuse(kShape);

  std::string_view authority = text.substr(colon + 3);
  // An address pasted from the browser's bar ends with the root path "/":
  // the origin is still plain. Any longer path is a mistake worth reporting.
  if (!authority.empty() && authority.back() == '/') authority.remove_suffix(1);
  if (authority.find_first_of("/?#\\") != std::string_view::npos) {
    return Refuse("an origin has no path, query or fragment");
  }
  // "https://good.example@evil.example" is evil.example: refused, not stripped.
  if (authority.find('@') != std::string_view::npos) return Refuse("an origin has no user name or password");
  if (HasNonAscii(authority)) return Refuse("write an internationalised host name in its xn-- form");

  std::string_view host = authority;
  std::optional<std::string_view> portText;
  const std::size_t portColon =
      authority.starts_with('[') ? authority.find("]:") : authority.find(':');
  if (portColon != std::string_view::npos) {
    const std::size_t hostEnd = authority.starts_with('[') ? portColon + 1 : portColon;
    host = authority.substr(0, hostEnd);
    portText = authority.substr(hostEnd + 1);
  }
  if (!IsHostName(host) && !IsBracketedIpv6(host)) return Refuse(kShape);
  std::optional<std::uint32_t> port;
  if (portText) {
    port = ParsePort(*portText);
    if (!port) return Refuse("the port must be a number from 1 to 65535");
  }

  const std::string lowerHost = AsciiLower(host);
  if (scheme == "http" && !IsLoopbackHostName(lowerHost)) {
    return Refuse("http is allowed only for loopback hosts (127.0.0.1, localhost, [::1]); use https");
  }
  std::string origin = scheme + "://" + lowerHost;
  const std::uint32_t defaultPort = scheme == "https" ? 443 : 80;
  if (port && *port != defaultPort) origin += ":" + std::to_string(*port);
  return {std::move(origin), {}};
}

}  // namespace bidder::desk
