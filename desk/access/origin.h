#pragma once
// One web origin, in the form browsers send it in the Origin header:
// "https://host[:port]", scheme and host in lower case, the default port
// left out, no path, no trailing slash, no user name. Plain http is only for
// the loopback names (127.0.0.1, localhost, [::1]), for development and
// tests: on any other host a page over http can be rewritten by whoever sits
// on the network path, and would then drive the user's scanner and token.
#include <optional>
#include <string>
#include <string_view>

namespace bidder::desk {

struct NormalizedOrigin {
  std::optional<std::string> origin;  // the origin as a browser sends it
  std::string refusal;                // why not, for a log line, when origin is empty
};

// Reads `text` (blanks around it ignored) as an origin. Host names are ASCII
// (internationalised names in their xn-- form, as browsers send them); an
// IPv6 address is taken as written, in lower case, so write it as browsers
// do ("[::1]", not "[0:0::1]"). Never throws but for memory.
NormalizedOrigin NormalizeOrigin(std::string_view text);

}  // namespace bidder::desk
