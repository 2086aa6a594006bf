#pragma once
// One WebSocket text message from a page, read as a JSON-RPC 2.0 request:
//   {"jsonrpc":"2.0","id":<string|integer|null>,"method":"<name>","params":{...}}
// Whatever the bytes, the reader gives either the request or the error answer
// to send back; it never throws and never recurses with the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "desk/rpc/errors.h"
#include "desk/rpc/params.h"

namespace bidder::desk::rpc {

// A request is a method name and a few short parameters: 64 KiB is far more
// than any method takes, and bounds what one message can cost. The server
// sets its WebSocket message limit to this as well.
inline constexpr std::size_t kMaxRequestBytes = 64 * 1024;
// The request object is depth 1 and its params depth 2; the rest is room for
// later methods, far below what could hurt.
inline constexpr std::size_t kMaxNestingDepth = 16;

// The id the page chose, echoed in the answer; null when the message had none
// that could be read.
using RequestId = std::variant<std::nullptr_t, std::int64_t, std::string>;

struct Request {
  RequestId id;
  std::string method;
  Params params;
};

// The error to answer a message with, and the id to answer it under: the
// request's own where it could be read, so the page can match the answer.
struct RequestError {
  RequestId id;
  Failure failure;
};

// A well-formed message without an id: JSON-RPC answers it with nothing,
// not even an error. No method of the service is a notification, so the
// service only notes it.
struct Notification {
  std::string method;
};

using ParsedRequest = std::variant<Request, RequestError, Notification>;

// Refused, with the JSON-RPC code of each case:
// - parse error: not JSON, invalid UTF-8 (also in \u escapes), a number
//   beyond double's range;
// - too-large: more than kMaxRequestBytes;
// - invalid request: not an object (batches included: one message is one
//   request), "jsonrpc" not "2.0", "method" missing or not text, an id of
//   another type than text, integer (int64) or null, params neither an
//   object nor absent, a key repeated in any object, or
//   nesting beyond kMaxNestingDepth;
// - bad-request: params given as an array (parameters are named).
// Which method exists is the caller's to judge (unknown-method).
ParsedRequest ParseRequest(std::string_view message) noexcept;

}  // namespace bidder::desk::rpc
