#include "desk/document/base64.h"

namespace bidder::desk {

std::string Base64(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
  }
  const std::size_t rest = bytes.size() - i;
  if (rest != 0) {
    const std::uint32_t v = (std::uint32_t{bytes[i]} << 16) | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], rest == 2 ? kDigits[(v >> 6) & 63] : '=', '='};
  }
  return out;
}

}  // namespace bidder::desk
