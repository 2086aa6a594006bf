#include <windows.h>
#include <bcrypt.h>

#include <climits>
#include <stdexcept>
#include <vector>

#include "random/random_hex.h"

namespace bidder {

std::string RandomHex(std::size_t bytes) {
  std::vector<unsigned char> random(bytes);
  std::size_t filled = 0;
  while (filled < bytes) {
    const std::size_t piece = std::min<std::size_t>(bytes - filled, ULONG_MAX);
    const NTSTATUS status = BCryptGenRandom(nullptr, random.data() + filled, static_cast<ULONG>(piece),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) throw std::runtime_error("no random bits from the system");
    filled += piece;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes * 2);
  for (unsigned char b : random) {
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0f]);
  }
  return hex;
}

}  // namespace bidder
