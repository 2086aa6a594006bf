#include "desk/access/host_check.h"

#include <string>

#include "desk/access/ascii_text.h"
#include "desk/access/loopback_host.h"

namespace bidder::desk {

bool IsServiceHost(std::string_view hostHeader, std::uint16_t servicePort) {
  const std::string_view host = TrimBlanks(hostHeader);
  const std::size_t colon = host.rfind(':');
  if (colon == std::string_view::npos) return false;
  // The port as written must be the port itself: "047380" or "+47380" is not
  // what a browser sends for a URL naming the service.
  if (host.substr(colon + 1) != std::to_string(servicePort)) return false;
  return IsLoopbackHostName(AsciiLower(host.substr(0, colon)));
}

}  // namespace bidder::desk
