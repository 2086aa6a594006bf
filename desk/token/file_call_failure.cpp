#include "desk/token/file_call_failure.h"

#include "cryptctl/messages.h"

namespace bidder::desk {
namespace {

using rpc::ErrorReason;
namespace msg = lockvale::msg;

ErrorReason ReasonOf(std::string_view message, const FileCallCircumstances& circumstances) {
  // Either routine's failure to open the device is how a missing token shows.
  if (message == msg::kPinOpenDeviceFailed || message == msg::kCannotOpenDevice) return ErrorReason::kNoToken;
  if (message == msg::kPinWrong) return ErrorReason::kPin;
  if (message == msg::kSerialNumberReadFailed || message == msg::kChangeDirectoryFailed ||
      message == msg::kOpenFileFailed || message == msg::kUserIdReadFailed) {
    return ErrorReason::kToken;
  }
  // The control says the same for a missing source and one that fails while
  // being read; only the first is the page's blob gone missing.
  if (message == msg::kSourceNameWrong) {
    return circumstances.inputIsFile ? ErrorReason::kInternal : ErrorReason::kNotFound;
  }
  if (message == msg::kDestinationNameWrong) {
    return circumstances.outOfSpace ? ErrorReason::kDiskFull : ErrorReason::kInternal;
  }
  if (message == msg::kSetupFailed && circumstances.passphraseUnsayable) return ErrorReason::kBadRequest;
  return ErrorReason::kInternal;
}

}  // namespace

rpc::Failure FailureOfFileCall(std::string_view message, const FileCallCircumstances& circumstances) {
  const ErrorReason reason = ReasonOf(message, circumstances);
  // The control names the destination for a full disk as for a bad name;
  // the service's own text says what the user can do about it.
  if (reason == ErrorReason::kDiskFull) return rpc::FailureOf(reason);
  rpc::Failure failure = rpc::FailureWithControlText(reason, message);
  if (reason == ErrorReason::kBadRequest) failure.field = "passphrase";
  return failure;
}

}  // namespace bidder::desk
