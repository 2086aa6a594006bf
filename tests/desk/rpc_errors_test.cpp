// The error table: pages switch on these codes and reasons, so they are
// pinned here; a change to a row is a change to every page that handles it.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>

#include "cryptctl/messages.h"
#include "desk/rpc/errors.h"
#include "scanctl/session/scan_messages.h"
#include "text/codepage.h"

namespace {

using bidder::desk::rpc::Describe;
using bidder::desk::rpc::ErrorReason;
using bidder::desk::rpc::ErrorTable;
using bidder::desk::rpc::TextOrigin;

TEST(RpcErrors, CodesAndReasonsArePinned) {
  struct Pinned {
    ErrorReason reason;
    int code;
    const char* key;
  };
  const Pinned pinned[] = {
      {ErrorReason::kParseError, -32700, "parse-error"},
      {ErrorReason::kInvalidRequest, -32600, "invalid-request"},
      {ErrorReason::kUnknownMethod, -32601, "unknown-method"},
      {ErrorReason::kBadRequest, -32602, "bad-request"},
      {ErrorReason::kInternal, -32603, "internal"},
      {ErrorReason::kBusy, 1000, "busy"},
      {ErrorReason::kNoScanner, 1001, "no-scanner"},
      {ErrorReason::kScanner, 1002, "scanner"},
      {ErrorReason::kCancelled, 1003, "cancelled"},
      {ErrorReason::kNoPages, 1004, "no-pages"},
      {ErrorReason::kNoToken, 1005, "no-token"},
      {ErrorReason::kPin, 1006, "pin"},
      {ErrorReason::kPinLocked, 1007, "pin-locked"},
      {ErrorReason::kToken, 1008, "token"},
      {ErrorReason::kTooLarge, 1009, "too-large"},
      {ErrorReason::kDiskFull, 1010, "disk-full"},
      {ErrorReason::kNotFound, 1011, "not-found"},
  };
  ASSERT_EQ(ErrorTable().size(), std::size(pinned)) << "a new row needs its pin here";
  for (const Pinned& p : pinned) {
    EXPECT_EQ(Describe(p.reason).code, p.code) << p.key;
    EXPECT_EQ(Describe(p.reason).key, p.key);
  }
}

TEST(RpcErrors, EveryRowHasItsOwnCodeAndKeyAndAReadableText) {
  std::set<int> codes;
  std::set<std::string_view> keys;
  for (const auto& kind : ErrorTable()) {
    EXPECT_TRUE(codes.insert(kind.code).second) << kind.code;
    EXPECT_TRUE(keys.insert(kind.key).second) << kind.key;
    // The service's own codes stay clear of the range JSON-RPC reserves.
    if (kind.code > -32000) {
      EXPECT_GE(kind.code, 1000) << kind.key;
    } else {
      EXPECT_TRUE(kind.code >= -32768) << kind.key;
    }
    // A text that fell back to its key would mean the control's text was lost.
    EXPECT_NE(kind.message, kind.key);
    EXPECT_TRUE(bidder::Utf8ToGbk(kind.message)) << kind.key << ": every text is Chinese the controls could show";
  }
}

TEST(RpcErrors, ControlsTextsAreTheControlsOwn) {
  struct Case {
    ErrorReason reason;
    TextOrigin origin;
    const char* gbk;
    const char* utf8;
  };
  const Case cases[] = {
      {ErrorReason::kNoScanner, TextOrigin::kScanningControl, folvane::msg::kInstallScanner,
       "\xe8\xaf\xb7\xe5\xae\x89\xe8\xa3\x85\xe4\xb8\x80\xe4\xb8\xaa\xe6\x89\xab\xe6\x8f\x8f\xe4\xbb\xaa\xe8\xae\xbe\xe5"
       "\xa4\x87\xe3\x80\x82"},  // 请安装一个扫描仪设备。
      {ErrorReason::kNoPages, TextOrigin::kScanningControl, folvane::msg::kScanFirst,
       "\xe8\xaf\xb7\xe5\x85\x88\xe6\x89\xab\xe6\x8f\x8f\xe6\x96\x87\xe4\xbb\xb6\xe3\x80\x82"},  // 请先扫描文件。
      {ErrorReason::kNoToken, TextOrigin::kEncryptionControl, lockvale::msg::kPinOpenDeviceFailed,
       "\xe6\x89\x93\xe5\xbc\x80\xe8\xae\xbe\xe5\xa4\x87\xe5\xa4\xb1\xe8\xb4\xa5."},  // 打开设备失败.
      {ErrorReason::kPin, TextOrigin::kEncryptionControl, lockvale::msg::kPinWrong,
       "PIN\xe4\xb8\x8d\xe6\xad\xa3\xe7\xa1\xae."},  // PIN不正确.
      {ErrorReason::kToken, TextOrigin::kEncryptionControl, lockvale::msg::kUserIdReadFailed,
       "\xe8\xaf\xbb\xe5\x8f\x96USBKEYUSERID\xe5\xa4\xb1\xe8\xb4\xa5"},  // 读取USBKEYUSERID失败
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Describe(c.reason).origin, c.origin);
    EXPECT_EQ(Describe(c.reason).message, c.utf8) << Describe(c.reason).key;
    EXPECT_EQ(bidder::Utf8ToGbk(Describe(c.reason).message), c.gbk);
  }
  for (const auto& kind : ErrorTable()) {
    const bool listed = std::any_of(std::begin(cases), std::end(cases), [&](const Case& c) { return c.reason == kind.reason; });
    if (!listed) {
      EXPECT_EQ(kind.origin, TextOrigin::kService) << kind.key;
    }
  }
}

TEST(RpcErrors, AControlsTextForTheCaseReplacesTheTablesOnly) {
  using bidder::desk::rpc::FailureWithControlText;
  using bidder::desk::rpc::MessageOf;
  const auto step = FailureWithControlText(ErrorReason::kToken, lockvale::msg::kChangeDirectoryFailed);
  EXPECT_EQ(bidder::Utf8ToGbk(MessageOf(step)), lockvale::msg::kChangeDirectoryFailed);
  EXPECT_EQ(Describe(step.reason).code, 1008);
  // Bytes that are not code page 936 never reach the page as text.
  const auto garbled = FailureWithControlText(ErrorReason::kToken, "\xd5");
  EXPECT_EQ(MessageOf(garbled), Describe(ErrorReason::kToken).message);
}

}  // namespace
