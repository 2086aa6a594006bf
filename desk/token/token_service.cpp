#include "desk/token/token_service.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "cryptctl/control/file_call.h"
#include "cryptctl/messages.h"
#include "cryptctl/token/token_access.h"
#include "desk/token/file_call_failure.h"
#include "desk/token/token_library.h"
#include "text/codepage.h"

namespace bidder::desk {
namespace {

namespace msg = lockvale::msg;
using rpc::ErrorReason;

// The control's type flag for the empty key: any value but the other two.
constexpr long kEmptyKeyType = 2;

bool IsOutOfSpace(int error) {
#ifdef EDQUOT
  if (error == EDQUOT) return true;
#endif
  return error == ENOSPC;
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace

// The token as the control's call uses it, with the service's rules around
// the PIN: the token is named by its serial number before its PIN is shown,
// a paused token's PIN is not shown at all, and the key is read only from the
// token whose PIN was just accepted.
class TokenService::CheckedToken final : public lockvale::KeyToken {
 public:
  explicit CheckedToken(TokenService& service) : service_(service) {}

  std::string VerifyPin(std::string_view pin) override {
    std::lock_guard lock(service_.tokenMutex_);
    std::optional<std::string> serial;
    {
      // Only the serial number is wanted; the USERID read with it is dropped here.
      lockvale::UserIdRead read = lockvale::ReadUSBKeyUserID();
      if (!read.serialNumber) return read.message.empty() ? std::string(msg::kUserIdReadFailed) : read.message;
      serial = std::move(read.serialNumber);
    }
    if (service_.pinPause_.IsPaused(*serial, service_.clock_())) {
      pinPaused_ = true;
      return msg::kPinWrong;  // ends the call; Crypt reports the pause instead
    }
    std::string message = lockvale::VerifyPIN(pin);
    if (message == msg::kPinWrong) {
      service_.pinPause_.RecordWrongPin(*serial, service_.clock_());
    } else if (message.empty()) {
      service_.pinPause_.RecordRightPin(*serial);
      checkedSerial_ = std::move(serial);
    }
    return message;
  }

  std::string ReadUserIdKey(std::string& key) override {
    std::lock_guard lock(service_.tokenMutex_);
    // Nothing of an earlier call is kept: the key is this token's, read now.
    lockvale::TokenIdentity identity;
    if (std::string message = lockvale::RefreshTokenIdentity(identity); !message.empty()) return message;
    // Another token plugged in since its PIN was checked would lend its key
    // without its PIN.
    if (checkedSerial_ && identity.serialNumber != checkedSerial_) return msg::kUserIdReadFailed;
    key = std::move(*identity.userId);
    return "";
  }

  bool PinPaused() const { return pinPaused_; }

 private:
  TokenService& service_;
  std::optional<std::string> checkedSerial_;
  bool pinPaused_ = false;
};

TokenService::TokenService(Clock clock) : clock_(std::move(clock)), library_(TokenLibrary::Load()) {
  if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

TokenService::~TokenService() = default;

bool TokenService::LibraryLoaded() const { return library_ != nullptr; }

TokenStatus TokenService::Status() {
  if (!library_) return {};
  std::lock_guard lock(tokenMutex_);
  lockvale::UserIdRead read = lockvale::ReadUSBKeyUserID();
  TokenStatus status;
  // A token that opens is present even when a later step of the read fails.
  status.present = read.message != msg::kCannotOpenDevice;
  if (status.present && read.serialNumber) status.serial = std::move(*read.serialNumber);
  return status;
}

std::optional<rpc::Failure> TokenService::Crypt(const CryptRequest& request) {
  lockvale::FileCallArguments args;
  // Linux paths are bytes, handed to the cipher as they are.
  args.sourcePath = request.inputPath;
  args.destinationPath = request.outputPath;
  FileCallCircumstances circumstances;
  switch (request.key) {
    case CryptKey::kToken:
      if (!request.pin) {
        rpc::Failure failure = rpc::FailureWithControlText(ErrorReason::kPin, msg::kPinWrong);
        failure.field = "pin";
        return failure;
      }
      if (!library_) return rpc::FailureOf(ErrorReason::kNoToken);
      args.verifyPinFlag = lockvale::kVerifyPin;
      args.typeFlag = lockvale::kKeyFromToken;
      // A PIN GBK cannot express stays nullopt: the call refuses it as wrong
      // without showing the token anything.
      args.pin = Utf8ToGbk(*request.pin);
      break;
    case CryptKey::kPassphrase:
      args.typeFlag = lockvale::kKeyFromPassPhrase;
      args.passPhrase = Utf8ToGbk(request.passphrase.value_or(""));
      circumstances.passphraseUnsayable = !args.passPhrase;
      break;
    case CryptKey::kEmpty:
      args.typeFlag = kEmptyKeyType;
      break;
  }
  const auto direction = request.direction == CryptDirection::kEncrypt ? lockvale::FileCipherDirection::kEncrypt
                                                                       : lockvale::FileCipherDirection::kDecrypt;

  const bool outputExisted = Exists(request.outputPath);
  CheckedToken token(*this);
  errno = 0;
  const std::string message = lockvale::RunFileCall(args, direction, token);
  const int error = errno;
  if (message.empty()) return std::nullopt;

  // The control leaves a partly written destination on disk; the service's
  // output is a blob, and half a sealed file must never be served as one.
  if (!outputExisted) {
    std::error_code ignored;
    std::filesystem::remove(request.outputPath, ignored);
  }
  if (token.PinPaused()) return rpc::FailureOf(ErrorReason::kPinLocked);
  circumstances.inputIsFile = IsFile(request.inputPath);
  circumstances.outOfSpace = message == msg::kDestinationNameWrong && IsOutOfSpace(error);
  return FailureOfFileCall(message, circumstances);
}

}  // namespace bidder::desk
