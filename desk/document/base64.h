#pragma once
// Standard base64 (RFC 4648, with padding), for data: URLs.
#include <cstdint>
#include <span>
#include <string>

namespace bidder::desk {

std::string Base64(std::span<const std::uint8_t> bytes);

}  // namespace bidder::desk
