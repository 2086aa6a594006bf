// Messages as a page, a broken page or a hostile one sends them: each gives
// the request or the right error under the right id, never a crash.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>

#include "desk/rpc/request.h"

namespace {

using namespace bidder::desk::rpc;

const RequestError* ErrorOf(const ParsedRequest& parsed) { return std::get_if<RequestError>(&parsed); }

// The error a message is answered with; nothing when it was taken.
std::optional<RequestError> RefusalOf(const std::string& message) {
  ParsedRequest parsed = ParseRequest(message);
  if (auto* error = std::get_if<RequestError>(&parsed)) return std::move(*error);
  return std::nullopt;
}

std::string Describe(const RequestId& id) {
  if (std::holds_alternative<std::nullptr_t>(id)) return "null";
  if (const auto* n = std::get_if<std::int64_t>(&id)) return std::to_string(*n);
  return '"' + std::get<std::string>(id) + '"';
}

TEST(RpcRequest, ReadsWellFormedRequests) {
  struct Case {
    std::string message;
    RequestId id;
    std::string method;
  };
  const Case cases[] = {
      {R"({"jsonrpc":"2.0","id":1,"method":"scanner.list"})", std::int64_t{1}, "scanner.list"},
      {R"({"method":"token.status","id":"a-7","jsonrpc":"2.0"})", std::string("a-7"), "token.status"},
      {R"( { "jsonrpc" : "2.0" , "id" : null , "method" : "scanner.state" , "params" : { } } )", nullptr,
       "scanner.state"},
      {R"({"jsonrpc":"2.0","id":-9223372036854775808,"method":"m"})", INT64_MIN, "m"},
      {R"({"jsonrpc":"2.0","id":9223372036854775807,"method":"m","params":{"newer":[1,{"x":true}]}})", INT64_MAX,
       "m"},
      {"{\"jsonrpc\":\"2.0\",\"id\":\"\xe6\x8a\x95\",\"method\":\"document.pdf\",\"params\":{\"title\":\"\\u6295\"}}",
       std::string("\xe6\x8a\x95"), "document.pdf"},
  };
  for (const Case& c : cases) {
    const ParsedRequest parsed = ParseRequest(c.message);
    const auto* request = std::get_if<Request>(&parsed);
    ASSERT_NE(request, nullptr) << c.message << " refused: " << Describe(ErrorOf(parsed)->id) << " field "
                                << ErrorOf(parsed)->failure.field;
    EXPECT_EQ(request->id, c.id) << c.message;
    EXPECT_EQ(request->method, c.method);
  }
}

struct Refusal {
  std::string message;
  ErrorReason reason;
  RequestId id;
  std::string field;
};

void ExpectRefusals(std::initializer_list<Refusal> cases) {
  for (const Refusal& c : cases) {
    const ParsedRequest parsed = ParseRequest(c.message);
    const RequestError* error = ErrorOf(parsed);
    ASSERT_TRUE(error) << c.message << " was taken";
    EXPECT_EQ(error->failure.reason, c.reason) << c.message;
    EXPECT_EQ(error->id, c.id) << c.message << " answered under " << Describe(error->id);
    EXPECT_EQ(error->failure.field, c.field) << c.message;
  }
}

TEST(RpcRequest, RefusesWhatIsNotARequestUnderTheIdWhereItCanBeRead) {
  const RequestId none = nullptr;
  const RequestId one = std::int64_t{1};
  ExpectRefusals({
      {"", ErrorReason::kParseError, none, ""},
      {"{", ErrorReason::kParseError, none, ""},
      {"scanner.list", ErrorReason::kParseError, none, ""},
      {R"({"jsonrpc":"2.0","id":1,"method":"m"} x)", ErrorReason::kParseError, none, ""},
      {R"({"jsonrpc":"2.0","id":1,"method":"m"}{"jsonrpc":"2.0","id":2,"method":"m"})", ErrorReason::kParseError,
       none, ""},
      {R"({"jsonrpc":"2.0","id":1,"method":"m",})", ErrorReason::kParseError, none, ""},
      {R"({"jsonrpc":"2.0","id":1,/*c*/"method":"m"})", ErrorReason::kParseError, none, ""},
      // One message, one request: no batches.
      {"[]", ErrorReason::kInvalidRequest, none, ""},
      {R"([{"jsonrpc":"2.0","id":1,"method":"m"}])", ErrorReason::kInvalidRequest, none, ""},
      {R"("text")", ErrorReason::kInvalidRequest, none, ""},
      {"null", ErrorReason::kInvalidRequest, none, ""},
      // Without an id nobody hears back, so it is refused, not run.
      {R"({"jsonrpc":"2.0","id":1.5,"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"2.0","id":1.0,"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"2.0","id":true,"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"2.0","id":[1],"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"2.0","id":9223372036854775808,"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"2.0","id":18446744073709551616,"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"2.0","id":-9223372036854775809,"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"1.0","id":1,"method":"m"})", ErrorReason::kInvalidRequest, one, "jsonrpc"},
      {R"({"jsonrpc":2.0,"id":1,"method":"m"})", ErrorReason::kInvalidRequest, one, "jsonrpc"},
      {R"({"id":1,"method":"m"})", ErrorReason::kInvalidRequest, one, "jsonrpc"},
      {R"({"jsonrpc":"2.0","id":"q","params":{}})", ErrorReason::kInvalidRequest, std::string("q"), "method"},
      {R"({"jsonrpc":"2.0","id":1,"method":null})", ErrorReason::kInvalidRequest, one, "method"},
      {R"({"jsonrpc":"2.0","id":1,"method":["m"]})", ErrorReason::kInvalidRequest, one, "method"},
      {R"({"jsonrpc":"2.0","id":1,"method":"m","params":"x"})", ErrorReason::kInvalidRequest, one, "params"},
      {R"({"jsonrpc":"2.0","id":1,"method":"m","params":null})", ErrorReason::kInvalidRequest, one, "params"},
      {R"({"jsonrpc":"2.0","id":1,"method":"m","params":[300]})", ErrorReason::kBadRequest, one, "params"},
  });
}

TEST(RpcRequest, AWellFormedMessageWithoutAnIdIsANotificationNotAnError) {
  const ParsedRequest parsed = ParseRequest(R"({"jsonrpc":"2.0","method":"page.closing","params":{"why":"reload"}})");
  const auto* notification = std::get_if<Notification>(&parsed);
  ASSERT_NE(notification, nullptr);
  EXPECT_EQ(notification->method, "page.closing");
  // Without an id, what is not a request is still refused, under a null id.
  const RequestId none = nullptr;
  ExpectRefusals({
      {R"({"method":"m"})", ErrorReason::kInvalidRequest, none, "jsonrpc"},
      {R"({"jsonrpc":"2.0","method":7})", ErrorReason::kInvalidRequest, none, "method"},
  });
}

TEST(RpcRequest, RepeatedKeysAreRefusedWhereverTheyAre) {
  // Two readers of one message must never see two different requests.
  const RequestId none = nullptr;
  const RequestId three = std::int64_t{3};
  ExpectRefusals({
      {R"({"jsonrpc":"2.0","id":1,"id":2,"method":"m"})", ErrorReason::kInvalidRequest, none, "id"},
      {R"({"jsonrpc":"2.0","id":3,"method":"document.clear","method":"scanner.list"})", ErrorReason::kInvalidRequest,
       three, "method"},
      {R"({"jsonrpc":"2.0","id":3,"method":"m","params":{"pin":"1","pin":{"a":[2]}}})",
       ErrorReason::kInvalidRequest, three, "pin"},
      {R"({"jsonrpc":"2.0","id":3,"method":"m","params":{"a":[{"k":1,"k":1}]}})", ErrorReason::kInvalidRequest,
       three, "k"},
  });
}

TEST(RpcRequest, NumbersBeyondAnyRangeAreRefusedNotWrapped) {
  const RequestId none = nullptr;
  ExpectRefusals({
      {R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"resolution":1e999}})", ErrorReason::kParseError, none, ""},
      {R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"resolution":-1e400}})", ErrorReason::kParseError, none,
       ""},
      {R"({"jsonrpc":"2.0","id":1e999,"method":"m"})", ErrorReason::kParseError, none, ""},
  });
  // Past int64 but within double: read, and left to the getters to refuse.
  const ParsedRequest big = ParseRequest(R"({"jsonrpc":"2.0","id":1,"method":"m","params":{"n":1)" +
                                         std::string(30, '0') + "}}");
  EXPECT_TRUE(std::holds_alternative<Request>(big));
}

TEST(RpcRequest, TextThatIsNotUtf8IsAParseError) {
  const std::string invalid[] = {
      "\xff",
      "\xc0\xaf",          // an overlong '/'
      "\xed\xa0\x80",      // a surrogate, encoded
      "\xe6\x8a",          // a character cut short
      "\xf4\x90\x80\x80",  // past U+10FFFF
      "\\ud800",           // an escaped surrogate without its pair
      "\\udc00\\ud800",    // a pair in the wrong order
      std::string("a\0b", 3),  // a control character unescaped
  };
  for (const std::string& text : invalid) {
    for (const std::string& message : {R"({"jsonrpc":"2.0","id":1,"method":")" + text + "\"}",
                                       R"({"jsonrpc":"2.0","id":1,"method":"m","params":{")" + text + "\":1}}"}) {
      std::optional<RequestError> error = RefusalOf(message);
      ASSERT_TRUE(error) << message;
      EXPECT_EQ(error->failure.reason, ErrorReason::kParseError) << message;
    }
  }
}

std::string Nested(std::size_t depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(RpcRequest, NestingIsBoundedAndNeverRecursesWithTheInput) {
  // The request object is depth 1 and params depth 2: params may hold
  // kMaxNestingDepth - 2 levels more.
  const auto withParams = [](const std::string& value) {
    return R"({"jsonrpc":"2.0","id":9,"method":"m","params":{"v":)" + value + "}}";
  };
  EXPECT_TRUE(std::holds_alternative<Request>(ParseRequest(withParams(Nested(kMaxNestingDepth - 2)))));
  const RequestId nine = std::int64_t{9};
  for (std::size_t depth : {kMaxNestingDepth - 1, std::size_t{20000}}) {
    std::optional<RequestError> error = RefusalOf(withParams(Nested(depth)));
    ASSERT_TRUE(error) << depth;
    EXPECT_EQ(error->failure.reason, ErrorReason::kInvalidRequest);
    EXPECT_EQ(error->id, nine) << "the id came before the deep part";
  }
  // Deep and unclosed, up to the size limit: refused without a stack to exhaust.
  std::optional<RequestError> error = RefusalOf(std::string(kMaxRequestBytes, '['));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure.reason, ErrorReason::kParseError);
  error = RefusalOf(std::string(kMaxRequestBytes / 2, '[') + std::string(kMaxRequestBytes / 2, ']'));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure.reason, ErrorReason::kInvalidRequest);
}

TEST(RpcRequest, SizeIsBoundedAtTheLimitItself) {
  const std::string request = R"({"jsonrpc":"2.0","id":1,"method":"m"})";
  const std::string atLimit = request + std::string(kMaxRequestBytes - request.size(), ' ');
  EXPECT_TRUE(std::holds_alternative<Request>(ParseRequest(atLimit)));
  std::optional<RequestError> error = RefusalOf(atLimit + ' ');
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failure.reason, ErrorReason::kTooLarge);
  EXPECT_EQ(error->id, RequestId{nullptr});
}

}  // namespace
