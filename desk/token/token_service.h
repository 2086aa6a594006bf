#pragma once
// The token and the file cipher as the desk service offers them to pages.
// The token's key is used only after the user's PIN in the same call, PIN
// checks run one at a time, and two wrong PINs in a row for a token pause
// its PIN checks for ten minutes, so that no script can use up the token's
// own tries. Files go through the encryption control's own call, so the
// bytes are the control's and `lockvale`'s.
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "desk/rpc/errors.h"
#include "desk/token/pin_pause.h"

namespace bidder::desk {

class TokenLibrary;

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
  // Loads the token library once (token_module.h: the file named by
  // BIDDER_DESK_TOKEN_LIBRARY, else libFT_ND_API.so beside the program or on
  // the search path); without it the service runs without a token. One
  // service at a time per process: the library's functions are the process's.
  explicit TokenService(Clock clock = {});
  ~TokenService();
  TokenService(const TokenService&) = delete;
  TokenService& operator=(const TokenService&) = delete;

  bool LibraryLoaded() const;
  TokenStatus Status();
  // nullopt on success (the output is complete), else the failure with the
  // control's text where it has one (pin, pin-locked, no-token, token,
  // bad-request, not-found for a missing input, disk-full).
  // A failed call leaves no output file behind unless one was there before.
  std::optional<rpc::Failure> Crypt(const CryptRequest& request);

 private:
  class CheckedToken;

  Clock clock_;
  std::unique_ptr<TokenLibrary> library_;
  // One token call at a time, whoever asks: the vendor's library is not
  // known to be safe from several threads, and a PIN check and its count
  // must not interleave with another's.
  std::mutex tokenMutex_;
  PinPause pinPause_;  // guarded by tokenMutex_
};

}  // namespace bidder::desk
