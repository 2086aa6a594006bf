#pragma once
// The token and the file cipher as the desk service offers them to pages.
// The token's key is used only after the user's PIN in the same call, PIN
// checks run one at a time, and two wrong PINs in a row for a token pause
// its PIN checks for ten minutes, so that no script can use up the token's
// own tries. Files go through the encryption control's own call, so the
// bytes are the control's and `lockvale`'s.
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "desk/rpc/errors.h"

namespace bidder::desk {

struct TokenStatus {
  bool present = false;
  std::string serial;  // "%08X", empty when absent
};

enum class CryptKey { kToken, kPassphrase, kEmpty };
enum class CryptDirection { kEncrypt, kDecrypt };

struct CryptRequest {
  std::string inputPath;
  std::string outputPath;
  CryptDirection direction = CryptDirection::kEncrypt;
  CryptKey key = CryptKey::kEmpty;
  std::optional<std::string> pin;         // UTF-8; required with kToken
  std::optional<std::string> passphrase;  // UTF-8; with kPassphrase (absent: empty)
};

class TokenService {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  // Loads the token library (libFT_ND_API.so beside the program or on the
  // search path) once; without it the service runs without a token.
  explicit TokenService(Clock clock = {});
  bool LibraryLoaded() const;
  TokenStatus Status();
  // nullopt on success (the output is complete), else the failure with the
  // control's text where it has one (pin, pin-locked, no-token, token,
  // bad-request, not-found for a missing input, disk-full).
  std::optional<rpc::Failure> Crypt(const CryptRequest& request);
};

}  // namespace bidder::desk
