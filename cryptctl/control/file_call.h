#pragma once
// One call of QVEncryptFile or QVDecryptFile, after the COM layer has turned
// its arguments into narrow text: optional PIN check on the token, choice of
// the key string by the type flag, then the file cipher. Returns the result
// string: "" on success, else the first failure's message (messages.h).
#include <optional>
#include <string>
#include <string_view>

#include "cipher/cipher_key.h"

namespace lockvale {

// The call's arguments in the ANSI code page. nullopt: the caller's text has
// characters that code page can't express (no look-alike is ever substituted).
struct FileCallArguments {
  long verifyPinFlag = 0;
  std::optional<std::string> pin;
  long typeFlag = 0;
  std::optional<std::string> passPhrase;
  std::optional<std::string> sourcePath;
  std::optional<std::string> destinationPath;
};

// The token as the call uses it; each routine opens and closes the token.
class KeyToken {
 public:
  virtual ~KeyToken() = default;
  // "" when the token accepts the PIN, else its message.
  virtual std::string VerifyPin(std::string_view pin) = 0;
  // Reads the token's USERID afresh: "" with the key string in `key`, else a message.
  virtual std::string ReadUserIdKey(std::string& key) = 0;
};

// The type flags that select the key string; any other value means the empty key.
inline constexpr long kVerifyPin = 1;
inline constexpr long kKeyFromToken = 0;
inline constexpr long kKeyFromPassPhrase = 1;

// The token is used before any file is opened, so a failure there leaves both
// files untouched. A PIN the code page can't express is refused as a wrong
// PIN without reaching the token (no look-alike PIN is presented, and no try
// of the token's PIN counter is spent); a pass phrase it can't express gives
// msg::kSetupFailed ("建立失败") before any file is opened, since no key can
// be set up from it; a path it can't express is a wrong source or
// destination name.
std::string RunFileCall(const FileCallArguments& args, FileCipherDirection direction, KeyToken& token);

}  // namespace lockvale
