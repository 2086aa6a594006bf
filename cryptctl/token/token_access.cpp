#include "token/token_access.h"

#include <cstdint>
#include <cstdio>
#include <limits>

#include "messages.h"
#include "token/userid_record.h"
#include "tokenapi/ft_nd_api.h"

namespace lockvale {
namespace {

constexpr std::uint32_t kContextFlags = 0;
constexpr std::uint32_t kContextVersion = 0x100;
constexpr std::uint32_t kOpenFlags = 1;
constexpr std::uint32_t kFirstDevice = 0;
constexpr std::uint32_t kChangeDirByName = 0x300;
constexpr std::uint32_t kOpenFileForReading = 0x10;
constexpr unsigned char kFixedCode[] = {'t', 'a', 'r', 'v', 'i', 'k'};
constexpr std::uint32_t kFileInfoSize = 44;
constexpr std::uint32_t kSerialBufferSize = 8;

// One connection to the token: the context and, once opened, the device.
// Whatever was acquired is released in reverse order, on every path.
class TokenSession {
 public:
  TokenSession() {
    if (epas_CreateContext(&context_, kContextFlags, kContextVersion) != EPAS_OK) {
      context_ = nullptr;
      return;
    }
    hasContext_ = true;
    deviceOpen_ = epas_OpenDevice(context_, kOpenFlags, kFirstDevice) == EPAS_OK;
  }
  ~TokenSession() {
    if (deviceOpen_) epas_CloseDevice(context_);
    if (hasContext_) epas_DeleteContext(context_);
  }
  TokenSession(const TokenSession&) = delete;
  TokenSession& operator=(const TokenSession&) = delete;

  bool IsOpen() const { return deviceOpen_; }
  EPAS_HANDLE Context() const { return context_; }

 private:
  EPAS_HANDLE context_ = nullptr;
  bool hasContext_ = false;
  bool deviceOpen_ = false;
};

}  // namespace

std::string VerifyPIN(std::string_view pin) {
  TokenSession token;
  if (!token.IsOpen()) return msg::kPinOpenDeviceFailed;
  // A PIN too long for the library's length is one the token cannot accept.
  if (pin.size() > std::numeric_limits<std::uint32_t>::max()) return msg::kPinWrong;
  const auto* bytes = reinterpret_cast<const unsigned char*>(pin.data());
  if (epas_Verify(token.Context(), EPAS_VERIFY_USER_PIN, bytes, static_cast<std::uint32_t>(pin.size())) != EPAS_OK) {
    return msg::kPinWrong;
  }
  return "";
}

UserIdRead ReadUSBKeyUserID() {
  UserIdRead result;
  TokenSession token;
  if (!token.IsOpen()) {
    result.message = msg::kCannotOpenDevice;
    return result;
  }
  if (epas_Verify(token.Context(), EPAS_VERIFY_FIXED_CODE, kFixedCode, sizeof kFixedCode) != EPAS_OK) {
    result.fixedCodeRefused = true;
    return result;
  }

  std::uint8_t serial[kSerialBufferSize] = {};
  if (epas_GetProperty(token.Context(), EPAS_PROPERTY_SERIAL_NUMBER, 0, serial, sizeof serial) != EPAS_OK) {
    result.message = msg::kSerialNumberReadFailed;
    return result;
  }
  result.serialNumber = SerialNumberText(std::string_view(reinterpret_cast<const char*>(serial), sizeof serial));

  if (epas_ChangeDir(token.Context(), kChangeDirByName, 0, kUserIdDirectory) != EPAS_OK) {
    result.message = msg::kChangeDirectoryFailed;
    return result;
  }
  std::uint8_t fileInfo[kFileInfoSize] = {};
  if (epas_OpenFile(token.Context(), kOpenFileForReading, kUserIdFileId, fileInfo, sizeof fileInfo) != EPAS_OK) {
    result.message = msg::kOpenFileFailed;
    return result;
  }
  // Zeroed, so that a file shorter than the record reads as text ending there.
  UserIdRecord record{};
  std::uint32_t bytesRead = 0;
  if (epas_Read(token.Context(), 0, 0, record.data(), static_cast<std::uint32_t>(record.size()), &bytesRead) !=
      EPAS_OK) {
    result.message = msg::kUserIdReadFailed;
    return result;
  }
  result.userId = UserIdFromRecord(record);
  return result;
}

std::string RefreshTokenIdentity(TokenIdentity& kept) {
  UserIdRead read = ReadUSBKeyUserID();
  if (read.serialNumber) kept.serialNumber = std::move(read.serialNumber);
  if (!read.message.empty()) return read.message;
  if (read.userId) {
    kept.userId = std::move(read.userId);
  } else if (!kept.userId) {
    // The fixed code was refused and no earlier read left a USERID: there is
    // no key to encrypt with, so the call ends here like a failed read.
    return msg::kUserIdReadFailed;
  }
  return "";
}

}  // namespace lockvale
