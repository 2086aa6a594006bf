// The token routines against the stand-in FT_ND_API library: the messages
// each failure of the token gives, the exact calls made (from the stand-in's
// log), the USERID record and the serial number.
#include "token/token_access.h"

#include <gtest/gtest.h>

#include "messages.h"
#include "support/virtual_token.h"
#include "text/codepage.h"

namespace lockvale {
namespace {

using bidder::test::VirtualToken;
using ftnd::TokenFault;
using Calls = std::vector<std::string>;

const std::string kOpen[] = {
    "epas_CreateContext(out, 0x0, 0x100) -> 0x0 #1",
    "epas_OpenDevice(#1, 0x1, 0x0) -> 0x0",
};
const std::string kClose[] = {"epas_CloseDevice(#1) -> 0x0", "epas_DeleteContext(#1) -> 0x0"};
const std::string kFixedCode = "epas_Verify(#1, 0x1, [74617276696b], 0x6) -> 0x0";
const std::string kSerial = "epas_GetProperty(#1, 0x7, 0x0, [0000000000000000], 0x8) -> 0x0";
const std::string kChangeDir = "epas_ChangeDir(#1, 0x300, 0x0, \"vorla\") -> 0x0";
const std::string kOpenFile = "epas_OpenFile(#1, 0x10, 0x3, buf, 0x2C) -> 0x0";
const std::string kRead = "epas_Read(#1, 0x0, 0x0, buf, 0x20, count) -> 0x0";

std::string Failing(std::string call) { return call.replace(call.find("-> 0x0"), 6, "-> fail"); }

// The calls of a connection that got through `middle` and then closed.
Calls Session(std::initializer_list<std::string> middle) {
  Calls calls(std::begin(kOpen), std::end(kOpen));
  calls.insert(calls.end(), middle);
  calls.insert(calls.end(), std::begin(kClose), std::end(kClose));
  return calls;
}
// A device that could not be opened: the context is deleted, nothing closed.
const Calls kNoDeviceCalls = {kOpen[0], Failing(kOpen[1]), "epas_DeleteContext(#1) -> 0x0"};
const Calls kNoContextCalls = {"epas_CreateContext(out, 0x0, 0x100) -> fail"};

ftnd::TokenImage WithFault(TokenFault fault) {
  ftnd::TokenImage image = VirtualToken::Typical();
  image.faults.push_back(fault);
  return image;
}

TEST(TokenMessages, AreTheControlsTextsInGbk) {
  EXPECT_EQ(bidder::GbkToUtf8(msg::kPinOpenDeviceFailed), "\xe6\x89\x93\xe5\xbc\x80\xe8\xae\xbe\xe5\xa4\x87\xe5\xa4\xb1\xe8\xb4\xa5.");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kPinWrong), "PIN\xe4\xb8\x8d\xe6\xad\xa3\xe7\xa1\xae.");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kCannotOpenDevice), "\xe6\x97\xa0\xe6\xb3\x95\xe6\x89\x93\xe5\xbc\x80\xe8\xae\xbe\xe5\xa4\x87");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kSerialNumberReadFailed),
            "\xe8\xaf\xbb\xe5\x8f\x96\xe8\xae\xbe\xe5\xa4\x87\xe5\xba\x8f\xe5\x88\x97\xe5\x8f\xb7\xe5\xa4\xb1\xe8\xb4\xa5!");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kChangeDirectoryFailed),
            "\xe5\x88\x87\xe6\x8d\xa2\xe7\x9b\xae\xe5\xbd\x95\xe5\xa4\xb1\xe8\xb4\xa5(\xe8\xaf\xb7\xe7\xa1\xae\xe4\xbf\x9d"
            "USERID\xe4\xbb\x8d\xe7\x84\xb6\xe5\xad\x98\xe4\xba\x8eKEY\xe4\xb8\xad)!");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kOpenFileFailed), "\xe6\x89\x93\xe5\xbc\x80\xe6\x96\x87\xe4\xbb\xb6\xe5\xa4\xb1\xe8\xb4\xa5!");
  EXPECT_EQ(bidder::GbkToUtf8(msg::kUserIdReadFailed), "\xe8\xaf\xbb\xe5\x8f\x96USBKEYUSERID\xe5\xa4\xb1\xe8\xb4\xa5");
}

TEST(VerifyPIN, MessagesAndCalls) {
  const std::string presented1234 = "epas_Verify(#1, 0x0, [31323334], 0x4) -> 0x0";
  struct Case {
    const char* name;
    std::optional<ftnd::TokenImage> token;  // nullopt: nothing plugged in
    std::string pin;
    std::string message;
    Calls calls;
  } cases[] = {
      {"accepted", VirtualToken::Typical(), "1234", "", Session({presented1234})},
      {"no token", std::nullopt, "1234", msg::kPinOpenDeviceFailed, kNoDeviceCalls},
      {"no context", WithFault(TokenFault::kNoContext), "1234", msg::kPinOpenDeviceFailed, kNoContextCalls},
      {"no device", WithFault(TokenFault::kNoDevice), "1234", msg::kPinOpenDeviceFailed, kNoDeviceCalls},
      {"refused", WithFault(TokenFault::kPinRefused), "1234", msg::kPinWrong, Session({Failing(presented1234)})},
      {"wrong PIN", VirtualToken::Typical(), "12345", msg::kPinWrong,
       Session({"epas_Verify(#1, 0x0, [3132333435], 0x5) -> fail"})},
      {"GBK PIN", [] { auto t = VirtualToken::Typical(); t.userPin = "\xbf\xda\xc1\xee"; return t; }(),
       "\xbf\xda\xc1\xee", "", Session({"epas_Verify(#1, 0x0, [bfdac1ee], 0x4) -> 0x0"})},
      // An empty PIN is zero bytes with length 0; the token decides.
      {"empty PIN refused", VirtualToken::Typical(), "", msg::kPinWrong,
       Session({"epas_Verify(#1, 0x0, [], 0x0) -> fail"})},
      {"empty PIN accepted", [] { auto t = VirtualToken::Typical(); t.userPin = ""; return t; }(), "", "",
       Session({"epas_Verify(#1, 0x0, [], 0x0) -> 0x0"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualToken token;
    if (c.token) token.Plug(*c.token);
    EXPECT_EQ(VerifyPIN(c.pin), c.message);
    EXPECT_EQ(token.TakeCalls(), c.calls);
  }
}

TEST(ReadUSBKeyUserID, ReadsSerialAndUserIdWithTheseExactCalls) {
  VirtualToken token;
  token.Plug(VirtualToken::Typical());
  const UserIdRead read = ReadUSBKeyUserID();
  EXPECT_EQ(read.message, "");
  EXPECT_FALSE(read.fixedCodeRefused);
  EXPECT_EQ(read.serialNumber, "1234ABCD");
  EXPECT_EQ(read.userId, "BIDDER7");
  EXPECT_EQ(token.TakeCalls(), Session({kFixedCode, kSerial, kChangeDir, kOpenFile, kRead}));
}

TEST(ReadUSBKeyUserID, EachFailureGivesItsMessageAndClosesTheToken) {
  ftnd::TokenImage noVorla = VirtualToken::Typical();
  noVorla.directories.clear();
  ftnd::TokenImage noFile3 = VirtualToken::Typical();
  noFile3.directories[0].files[0].id = 4;
  struct Case {
    const char* name;
    std::optional<ftnd::TokenImage> token;
    std::string message;
    bool serialRead;
    Calls calls;
  } cases[] = {
      {"no token", std::nullopt, msg::kCannotOpenDevice, false, kNoDeviceCalls},
      {"no context", WithFault(TokenFault::kNoContext), msg::kCannotOpenDevice, false, kNoContextCalls},
      {"no device", WithFault(TokenFault::kNoDevice), msg::kCannotOpenDevice, false, kNoDeviceCalls},
      {"property unreadable", WithFault(TokenFault::kPropertyUnreadable), msg::kSerialNumberReadFailed, false,
       Session({kFixedCode, Failing(kSerial)})},
      {"directory fault", WithFault(TokenFault::kDirectoryMissing), msg::kChangeDirectoryFailed, true,
       Session({kFixedCode, kSerial, Failing(kChangeDir)})},
      {"no vorla on the token", noVorla, msg::kChangeDirectoryFailed, true,
       Session({kFixedCode, kSerial, Failing(kChangeDir)})},
      {"file fault", WithFault(TokenFault::kFileMissing), msg::kOpenFileFailed, true,
       Session({kFixedCode, kSerial, kChangeDir, Failing(kOpenFile)})},
      {"no file 3", noFile3, msg::kOpenFileFailed, true, Session({kFixedCode, kSerial, kChangeDir, Failing(kOpenFile)})},
      {"read fault", WithFault(TokenFault::kReadFails), msg::kUserIdReadFailed, true,
       Session({kFixedCode, kSerial, kChangeDir, kOpenFile, Failing(kRead)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualToken token;
    if (c.token) token.Plug(*c.token);
    const UserIdRead read = ReadUSBKeyUserID();
    EXPECT_EQ(read.message, c.message);
    EXPECT_FALSE(read.fixedCodeRefused);
    // The serial number is kept as soon as it was read, even when a later step fails.
    EXPECT_EQ(read.serialNumber, c.serialRead ? std::optional<std::string>("1234ABCD") : std::nullopt);
    EXPECT_EQ(read.userId, std::nullopt);
    EXPECT_EQ(token.TakeCalls(), c.calls);
  }
}

TEST(ReadUSBKeyUserID, RefusedFixedCodeReadsNothingAndSaysNothing) {
  VirtualToken token;
  token.Plug(WithFault(TokenFault::kFixedCodeRefused));
  const UserIdRead read = ReadUSBKeyUserID();
  EXPECT_EQ(read.message, "");
  EXPECT_TRUE(read.fixedCodeRefused);
  EXPECT_EQ(read.serialNumber, std::nullopt);
  EXPECT_EQ(read.userId, std::nullopt);
  EXPECT_EQ(token.TakeCalls(), Session({Failing(kFixedCode)}));
}

TEST(ReadUSBKeyUserID, UserIdRecords) {
  const auto bytes = [](std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
  };
  const std::string ff31 = std::string(31, 'a') + '\xff';
  struct Case {
    const char* name;
    std::string file;
    std::string userId;
  } cases[] = {
      {"0xFF first: empty USERID", std::string(32, '\xff'), ""},
      {"0xFF at index 31", ff31, std::string(31, 'a')},
      {"bytes after the first 0xFF ignored", "AB\xff" "CD" + std::string(27, '\0'), "AB"},
      {"a NUL inside ends the text", bytes({'A', 'B', 0, 'C', 0xff}) + std::string(27, '\xff'), "AB"},
      {"no 0xFF, no NUL: all 32 bytes", std::string(32, 'x'), std::string(32, 'x')},
      {"no 0xFF, a NUL at 10", std::string(10, 'x') + std::string(22, '\0'), std::string(10, 'x')},
      {"no 0xFF in the record, one right after it", std::string(32, 'y') + "\xff", std::string(32, 'y')},
      {"GBK text", "\xd6\xd0\xce\xc4\xff" + std::string(27, '\xff'), "\xd6\xd0\xce\xc4"},
      {"a short file reads as text up to its end", "short", "short"},
      {"an empty file", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualToken token;
    ftnd::TokenImage image = VirtualToken::Typical();
    image.directories[0].files[0].bytes = c.file;
    token.Plug(image);
    const UserIdRead read = ReadUSBKeyUserID();
    EXPECT_EQ(read.message, "");
    EXPECT_EQ(read.userId, c.userId);
  }
}

TEST(ReadUSBKeyUserID, SerialNumberIsTheFirstFourBytesLittleEndianInUpperCaseHex) {
  struct Case {
    std::string property;
    std::string text;
  } cases[] = {
      {std::string("\x0a\x00\x00\x00", 4), "0000000A"},
      {std::string("\xef\xcd\xab\x89", 4), "89ABCDEF"},
      {std::string(4, '\xff'), "FFFFFFFF"},
      {std::string("\x0a\x00\x00\x00\x11\x22\x33\x44", 8), "0000000A"},  // bytes 4..7 unused
      {std::string("\x0a\x01", 2), "0000010A"},                          // the rest of the zeroed buffer
  };
  for (const Case& c : cases) {
    VirtualToken token;
    ftnd::TokenImage image = VirtualToken::Typical();
    image.serialProperty = c.property;
    token.Plug(image);
    EXPECT_EQ(ReadUSBKeyUserID().serialNumber, c.text) << ftnd::ToHex(c.property);
  }
}

TEST(RefreshTokenIdentity, KeepsTheSerialAsSoonAsReadAndTheUserIdOnlyAfterAWholeRead) {
  VirtualToken token;
  TokenIdentity kept;
  token.Plug(VirtualToken::Typical());
  EXPECT_EQ(RefreshTokenIdentity(kept), "");
  EXPECT_EQ(kept.userId, "BIDDER7");
  EXPECT_EQ(kept.serialNumber, "1234ABCD");

  // Another token without "vorla": its serial replaces the old one, the USERID stays.
  ftnd::TokenImage other = VirtualToken::Typical();
  other.serialProperty = std::string("\x0a\x00\x00\x00", 4);
  other.directories.clear();
  token.Plug(other);
  EXPECT_EQ(RefreshTokenIdentity(kept), msg::kChangeDirectoryFailed);
  EXPECT_EQ(kept.userId, "BIDDER7");
  EXPECT_EQ(kept.serialNumber, "0000000A");

  // A second whole read replaces the first USERID.
  other.directories.push_back({"vorla", {{3, "SECOND\xff"}}});
  token.Plug(other);
  EXPECT_EQ(RefreshTokenIdentity(kept), "");
  EXPECT_EQ(kept.userId, "SECOND");

  // No token: a message, and both kept values stay.
  token.Unplug();
  EXPECT_EQ(RefreshTokenIdentity(kept), msg::kCannotOpenDevice);
  EXPECT_EQ(kept.userId, "SECOND");
  EXPECT_EQ(kept.serialNumber, "0000000A");
}

TEST(RefreshTokenIdentity, RefusedFixedCodeUsesTheEarlierUserIdOrFailsWithoutOne) {
  VirtualToken token;
  token.Plug(WithFault(TokenFault::kFixedCodeRefused));

  TokenIdentity empty;
  EXPECT_EQ(RefreshTokenIdentity(empty), msg::kUserIdReadFailed);
  EXPECT_EQ(empty.userId, std::nullopt);
  EXPECT_EQ(empty.serialNumber, std::nullopt);

  // An earlier read's USERID, even an empty one, is still a key.
  for (const std::string& earlier : {std::string("EARLIER"), std::string()}) {
    TokenIdentity kept{earlier, "0000000A"};
    EXPECT_EQ(RefreshTokenIdentity(kept), "");
    EXPECT_EQ(kept.userId, earlier);
    EXPECT_EQ(kept.serialNumber, "0000000A");
  }
}

TEST(TokenAccess, ReadsTheTokenAfreshOnEveryCall) {
  VirtualToken token;
  EXPECT_EQ(VerifyPIN("1234"), msg::kPinOpenDeviceFailed);
  token.Plug(VirtualToken::Typical());
  EXPECT_EQ(VerifyPIN("1234"), "");
  EXPECT_EQ(ReadUSBKeyUserID().userId, "BIDDER7");
  token.Unplug();
  EXPECT_EQ(ReadUSBKeyUserID().message, msg::kCannotOpenDevice);
  // Each call used a context of its own.
  const Calls calls = token.TakeCalls();
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.rfind("epas_CreateContext", 0) == 0; }),
            4);
  EXPECT_EQ(calls.back(), "epas_DeleteContext(#4) -> 0x0");
}

}  // namespace
}  // namespace lockvale
