#include "control/file_call.h"

#include "cipher/file_cipher.h"
#include "messages.h"

namespace lockvale {

std::string RunFileCall(const FileCallArguments& args, FileCipherDirection direction, KeyToken& token) {
  if (args.verifyPinFlag == kVerifyPin) {
    if (!args.pin) return msg::kPinWrong;
    if (std::string message = token.VerifyPin(*args.pin); !message.empty()) return message;
  }

  std::string key;
  if (args.typeFlag == kKeyFromToken) {
    if (std::string message = token.ReadUserIdKey(key); !message.empty()) return message;
  } else if (args.typeFlag == kKeyFromPassPhrase) {
    if (!args.passPhrase) return msg::kSetupFailed;
    key = *args.passPhrase;
  }

  if (!args.sourcePath) return msg::kSourceNameWrong;
  if (!args.destinationPath) return msg::kDestinationNameWrong;
  return TransformFile(*args.sourcePath, *args.destinationPath, key, direction);
}

}  // namespace lockvale
