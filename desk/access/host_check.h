#pragma once
// The Host header a request to the service must carry. A page on any other
// name that resolves to this machine (DNS rebinding: an attacker's name
// pointed at 127.0.0.1 after the page loaded) sends that name, and gets
// nothing.
#include <cstdint>
#include <string_view>

namespace bidder::desk {

// True only for "127.0.0.1:<port>", "localhost:<port>" or "[::1]:<port>"
// (the name in any case, the port in plain decimal) where <port> is the port
// the service listens on. Blanks around the value are ignored.
bool IsServiceHost(std::string_view hostHeader, std::uint16_t servicePort);

}  // namespace bidder::desk
