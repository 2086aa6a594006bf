#pragma once
// The encryption control's use of the USB token, through the vendor library
// FT_ND_API (tokenapi/ft_nd_api.h). Each routine opens the token, does
// its work and closes it again: every path that opened the device closes it,
// and every context created is deleted, before the routine returns.
//
// Messages are the control's result strings (cryptctl/messages.h, GBK): ""
// on success, otherwise the text to hand to the caller unchanged.
#include <optional>
#include <string>
#include <string_view>

namespace lockvale {

// Presents the user PIN (verify type 0). `pin` holds the PIN's bytes in the
// ANSI code page, as typed; a null PIN is the empty string, sent as zero bytes
// with length 0. Returns "", msg::kPinOpenDeviceFailed ("打开设备失败.": no
// context or no token) or msg::kPinWrong ("PIN不正确.").
std::string VerifyPIN(std::string_view pin);

// What one reading of the token gave.
struct UserIdRead {
  // "", msg::kCannotOpenDevice, msg::kSerialNumberReadFailed,
  // msg::kChangeDirectoryFailed, msg::kOpenFileFailed or msg::kUserIdReadFailed.
  std::string message;
  // The serial number as "%08X" text, set as soon as it was read: it is there
  // when a later step failed too.
  std::optional<std::string> serialNumber;
  // The USERID bytes (GBK text, 0 to 32 bytes, no 0x00), set only when the
  // whole read succeeded.
  std::optional<std::string> userId;
  // The token refused the fixed code: nothing was read and `message` is "".
  bool fixedCodeRefused = false;
};

// Reads the serial number and the USERID after presenting the token's fixed
// code (verify type 1, "tarvik").
UserIdRead ReadUSBKeyUserID();

// What the control keeps of its last token reads.
struct TokenIdentity {
  std::optional<std::string> userId;        // the last USERID read in full
  std::optional<std::string> serialNumber;  // the last serial number read
};

// The control's step for key type 0: reads the token afresh (ReadUSBKeyUserID)
// and keeps what it gave in `kept`: the serial number as soon as it was read,
// the USERID only after a whole read. When the token refuses the fixed code,
// the USERID of an earlier read stays the key; with none kept, this returns
// msg::kUserIdReadFailed ("读取USBKEYUSERID失败") instead of going on without
// a key. On "" the key string is *kept.userId.
std::string RefreshTokenIdentity(TokenIdentity& kept);

}  // namespace lockvale
