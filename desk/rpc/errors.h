#pragma once
// Every error the desk service answers with, in one table: its stable English
// reason, its code and the Chinese text the user sees. Pages switch on the
// reason or the code, so neither ever changes meaning once shipped; a new case
// gets a new row and the next free code. JSON-RPC's own cases keep JSON-RPC's
// codes; the service's own start at 1000.
#include <span>
#include <string>
#include <string_view>

namespace bidder::desk::rpc {

enum class ErrorReason {
  kParseError,      // -32700: the message is not JSON
  kInvalidRequest,  // -32600: JSON, but not a request the service takes
  kUnknownMethod,   // -32601
  kBadRequest,      // -32602: a parameter is missing, of the wrong type or out of range
  kInternal,        // -32603: a fault of the service itself
  kBusy,
  kNoScanner,
  kScanner,
  kCancelled,
  kNoPages,
  kNoToken,
  kPin,
  kPinLocked,
  kToken,
  kTooLarge,
  kDiskFull,
  kNotFound,
};

// Where the user's text comes from: a control's own message (converted from
// the control's code page 936 to UTF-8) or the service's.
enum class TextOrigin { kScanningControl, kEncryptionControl, kService };

struct ErrorKind {
  ErrorReason reason;
  int code;
  std::string_view key;      // data.reason, e.g. "pin-locked"
  std::string_view message;  // UTF-8
  TextOrigin origin;
};

// The whole table, in code order within each range, for the service and for
// its documentation. Valid for the life of the program.
std::span<const ErrorKind> ErrorTable();
const ErrorKind& Describe(ErrorReason reason);

// One error as the service answers it: the table's row, which parameter or
// member was wrong where that is known, and the text for the user.
struct Failure {
  ErrorReason reason = ErrorReason::kInternal;
  std::string field;    // for data.field; empty when not about one member
  std::string message;  // UTF-8; empty: the table's text
};

Failure FailureOf(ErrorReason reason, std::string field = {});

// A failure with the text a control gave for this very case (its result
// string, code page 936), so that the service shows what the control shows:
// the token routine's step that failed, the PDF output's write failure. Text
// that does not convert leaves the table's text.
Failure FailureWithControlText(ErrorReason reason, std::string_view controlText);

// The text the user sees for `failure`.
std::string_view MessageOf(const Failure& failure);

}  // namespace bidder::desk::rpc
