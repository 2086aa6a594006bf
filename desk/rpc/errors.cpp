#include "desk/rpc/errors.h"

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

#include "cryptctl/messages.h"
#include "scanctl/session/scan_messages.h"
#include "text/codepage.h"

namespace bidder::desk::rpc {
namespace {

// The service's own texts (UTF-8), for the cases no control has a text for.
constexpr char kParseErrorText[] = "\xe8\xaf\xb7\xe6\xb1\x82\xe6\xa0\xbc\xe5\xbc\x8f\xe6\x9c\x89\xe8\xaf\xaf\xe3\x80\x82";  // 请求格式有误。
constexpr char kInvalidRequestText[] = "\xe8\xaf\xb7\xe6\xb1\x82\xe6\x97\xa0\xe6\x95\x88\xe3\x80\x82";  // 请求无效。
constexpr char kUnknownMethodText[] =
    "\xe6\x9c\x8d\xe5\x8a\xa1\xe4\xb8\x8d\xe6\x94\xaf\xe6\x8c\x81\xe6\xad\xa4\xe6\x93\x8d\xe4\xbd\x9c\xe3\x80\x82";  // 服务不支持此操作。
constexpr char kBadRequestText[] = "\xe8\xaf\xb7\xe6\xb1\x82\xe5\x8f\x82\xe6\x95\xb0\xe6\x9c\x89\xe8\xaf\xaf\xe3\x80\x82";  // 请求参数有误。
constexpr char kInternalText[] =
    "\xe6\x9c\x8d\xe5\x8a\xa1\xe5\x86\x85\xe9\x83\xa8\xe5\x87\xba\xe9\x94\x99\xef\xbc\x8c\xe8\xaf\xb7\xe9\x87\x8d\xe8\xaf"
    "\x95\xe3\x80\x82";  // 服务内部出错，请重试。
constexpr char kBusyText[] =
    "\xe5\x8f\xa6\xe4\xb8\x80\xe4\xb8\xaa\xe9\xa1\xb5\xe9\x9d\xa2\xe6\xad\xa3\xe5\x9c\xa8\xe6\x89\xab\xe6\x8f\x8f\xef\xbc"
    "\x8c\xe8\xaf\xb7\xe7\xa8\x8d\xe5\x90\x8e\xe5\x86\x8d\xe8\xaf\x95\xe3\x80\x82";  // 另一个页面正在扫描，请稍后再试。
constexpr char kScannerText[] =
    "\xe6\x89\xab\xe6\x8f\x8f\xe4\xbb\xaa\xe5\x87\xba\xe9\x94\x99\xef\xbc\x8c\xe8\xaf\xb7\xe6\xa3\x80\xe6\x9f\xa5\xe6\x89"
    "\xab\xe6\x8f\x8f\xe4\xbb\xaa\xe5\x90\x8e\xe9\x87\x8d\xe8\xaf\x95\xe3\x80\x82";  // 扫描仪出错，请检查扫描仪后重试。
constexpr char kCancelledText[] = "\xe6\x89\xab\xe6\x8f\x8f\xe5\xb7\xb2\xe5\x8f\x96\xe6\xb6\x88\xe3\x80\x82";  // 扫描已取消。
constexpr char kPinLockedText[] =
    "PIN\xe8\xbf\x9e\xe7\xbb\xad\xe4\xb8\xa4\xe6\xac\xa1\xe4\xb8\x8d\xe6\xad\xa3\xe7\xa1\xae\xef\xbc\x8c\xe8\xaf\xb7"
    "10\xe5\x88\x86\xe9\x92\x9f\xe5\x90\x8e\xe5\x86\x8d\xe8\xaf\x95\xe3\x80\x82";  // PIN连续两次不正确，请10分钟后再试。
constexpr char kTooLargeText[] =
    "\xe6\x96\x87\xe4\xbb\xb6\xe5\xa4\xaa\xe5\xa4\xa7\xef\xbc\x8c\xe8\xb6\x85\xe8\xbf\x87\xe6\x9c\x8d\xe5\x8a\xa1\xe5\x85"
    "\x81\xe8\xae\xb8\xe7\x9a\x84\xe5\xa4\xa7\xe5\xb0\x8f\xe3\x80\x82";  // 文件太大，超过服务允许的大小。
constexpr char kDiskFullText[] =
    "\xe7\xa3\x81\xe7\x9b\x98\xe7\xa9\xba\xe9\x97\xb4\xe4\xb8\x8d\xe8\xb6\xb3\xef\xbc\x8c\xe8\xaf\xb7\xe6\xb8\x85\xe7\x90"
    "\x86\xe7\xa3\x81\xe7\x9b\x98\xe5\x90\x8e\xe9\x87\x8d\xe8\xaf\x95\xe3\x80\x82";  // 磁盘空间不足，请清理磁盘后重试。
constexpr char kNotFoundText[] =
    "\xe6\x89\xbe\xe4\xb8\x8d\xe5\x88\xb0\xe8\xaf\xb7\xe6\xb1\x82\xe7\x9a\x84\xe9\xa1\xb5\xe9\x9d\xa2\xe6\x88\x96\xe6\x96"
    "\x87\xe4\xbb\xb6\xe3\x80\x82";  // 找不到请求的页面或文件。

struct Row {
  ErrorReason reason;
  int code;
  std::string_view key;
  const char* text;  // code page 936 from a control, UTF-8 from the service
  TextOrigin origin;
};

using enum ErrorReason;
using enum TextOrigin;

// In the order of ErrorReason. The control texts are the ones the controls
// show for the same case: the scanning session without a scanner and either
// output without pages; the encryption control's PIN check, whose device
// failure is how a missing token shows, its wrong PIN, and its USERID read.
constexpr Row kRows[] = {
    {kParseError, -32700, "parse-error", kParseErrorText, kService},
    {kInvalidRequest, -32600, "invalid-request", kInvalidRequestText, kService},
    {kUnknownMethod, -32601, "unknown-method", kUnknownMethodText, kService},
    {kBadRequest, -32602, "bad-request", kBadRequestText, kService},
    {kInternal, -32603, "internal", kInternalText, kService},
    {kBusy, 1000, "busy", kBusyText, kService},
    {kNoScanner, 1001, "no-scanner", folvane::msg::kInstallScanner, kScanningControl},
    {kScanner, 1002, "scanner", kScannerText, kService},
    {kCancelled, 1003, "cancelled", kCancelledText, kService},
    {kNoPages, 1004, "no-pages", folvane::msg::kScanFirst, kScanningControl},
    {kNoToken, 1005, "no-token", lockvale::msg::kPinOpenDeviceFailed, kEncryptionControl},
    {kPin, 1006, "pin", lockvale::msg::kPinWrong, kEncryptionControl},
    {kPinLocked, 1007, "pin-locked", kPinLockedText, kService},
    {kToken, 1008, "token", lockvale::msg::kUserIdReadFailed, kEncryptionControl},
    {kTooLarge, 1009, "too-large", kTooLargeText, kService},
    {kDiskFull, 1010, "disk-full", kDiskFullText, kService},
    {kNotFound, 1011, "not-found", kNotFoundText, kService},
};
constexpr std::size_t kRowCount = std::size(kRows);

constexpr bool RowsFollowTheEnumeration() {
  for (std::size_t i = 0; i < kRowCount; ++i) {
    if (static_cast<std::size_t>(kRows[i].reason) != i) return false;
  }
  return true;
}
static_assert(RowsFollowTheEnumeration(), "Describe() indexes the rows by reason");

struct Table {
  std::array<std::string, kRowCount> texts;
  std::array<ErrorKind, kRowCount> kinds;
};

// Built once, on first use: the controls' texts are converted a single time
// and every answer after that refers to the same strings.
const Table& BuiltTable() {
  static const Table table = [] {
    Table built;
    for (std::size_t i = 0; i < kRowCount; ++i) {
      const Row& row = kRows[i];
      if (row.origin == kService) {
        built.texts[i] = row.text;
      } else {
        // Conversion fails only where the system lacks code page 936; the
        // reason still reaches the page.
        built.texts[i] = GbkToUtf8(row.text).value_or(std::string(row.key));
      }
      built.kinds[i] = ErrorKind{row.reason, row.code, row.key, built.texts[i], row.origin};
    }
    return built;
  }();
  return table;
}

}  // namespace

std::span<const ErrorKind> ErrorTable() { return BuiltTable().kinds; }

const ErrorKind& Describe(ErrorReason reason) {
  const auto index = static_cast<std::size_t>(reason);
  return BuiltTable().kinds[index < kRowCount ? index : static_cast<std::size_t>(kInternal)];
}

Failure FailureOf(ErrorReason reason, std::string field) { return Failure{reason, std::move(field), {}}; }

Failure FailureWithControlText(ErrorReason reason, std::string_view controlText) {
  Failure failure{reason, {}, {}};
  if (auto text = GbkToUtf8(controlText)) failure.message = std::move(*text);
  return failure;
}

std::string_view MessageOf(const Failure& failure) {
  return failure.message.empty() ? Describe(failure.reason).message : std::string_view(failure.message);
}

}  // namespace bidder::desk::rpc
