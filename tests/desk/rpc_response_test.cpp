// Answers and notifications, read back by a JSON parser: the shape pages
// rely on, the service's text kept as UTF-8, and nothing the service writes
// can make a message that does not parse.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "desk/rpc/response.h"

namespace {

using namespace bidder::desk::rpc;
using nlohmann::json;

const char kTitle[] = "\xe6\x8a\x95\xe6\xa0\x87\xe6\x96\x87\xe4\xbb\xb6";  // 投标文件

TEST(RpcResponse, ResultsRoundTripWithTheirIdAndMemberOrder) {
  const Value page = Value::MakeObject({{"id", "p1"}, {"width", 2480}, {"height", std::uint64_t{3508}},
                                        {"mode", "color"}, {"bytes", std::int64_t{1} << 40}});
  const Value result = Value::MakeObject({{"title", kTitle}, {"keep", false}, {"none", nullptr},
                                          {"pages", Value::MakeArray({page, page})}, {"empty", Value::Array{}}});
  for (const RequestId& id : {RequestId{std::int64_t{-3}}, RequestId{std::string("a\"b\\c")}, RequestId{nullptr}}) {
    const std::string text = WriteResult(id, result);
    const json answer = json::parse(text);
    EXPECT_EQ(answer["jsonrpc"], "2.0");
    std::visit([&](const auto& v) { EXPECT_EQ(answer["id"], json(v)) << text; }, id);
    EXPECT_EQ(answer["result"]["title"], kTitle);
    EXPECT_EQ(answer["result"]["pages"][1]["bytes"], std::int64_t{1} << 40);
    EXPECT_TRUE(answer["result"]["none"].is_null());
    EXPECT_TRUE(answer["result"]["empty"].is_array());
    EXPECT_FALSE(answer.contains("error"));
  }
  const std::string text = WriteResult(std::int64_t{1}, result);
  EXPECT_NE(text.find(kTitle), std::string::npos) << "Chinese stays UTF-8: " << text;
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_LT(text.find("\"id\":\"p1\""), text.find("\"width\""));
  EXPECT_LT(text.find("\"width\""), text.find("\"height\""));
}

TEST(RpcResponse, ErrorsCarryCodeTextReasonAndField) {
  const json answer = json::parse(WriteError(std::string("r7"), FailureOf(ErrorReason::kBadRequest, "resolution")));
  EXPECT_EQ(answer["id"], "r7");
  EXPECT_FALSE(answer.contains("result"));
  EXPECT_EQ(answer["error"]["code"], -32602);
  EXPECT_EQ(answer["error"]["message"], Describe(ErrorReason::kBadRequest).message);
  EXPECT_EQ(answer["error"]["data"], json::parse(R"({"reason":"bad-request","field":"resolution"})"));

  const json pin = json::parse(WriteError(std::int64_t{2}, FailureOf(ErrorReason::kPin)));
  EXPECT_EQ(pin["error"]["code"], 1006);
  EXPECT_EQ(pin["error"]["message"], "PIN\xe4\xb8\x8d\xe6\xad\xa3\xe7\xa1\xae.");  // PIN不正确.
  EXPECT_EQ(pin["error"]["data"], json::parse(R"({"reason":"pin"})"));
}

TEST(RpcResponse, RefusedRequestsAreAnsweredUnderTheirId) {
  const ParsedRequest parsed = ParseRequest(R"({"jsonrpc":"2.0","id":5,"method":"m","params":[1]})");
  const json answer = json::parse(WriteError(std::get<RequestError>(parsed)));
  EXPECT_EQ(answer["id"], 5);
  EXPECT_EQ(answer["error"]["data"]["reason"], "bad-request");

  const json unread = json::parse(WriteError(std::get<RequestError>(ParseRequest("{"))));
  EXPECT_TRUE(unread.contains("id"));
  EXPECT_TRUE(unread["id"].is_null());
  EXPECT_EQ(unread["error"]["code"], -32700);
}

TEST(RpcResponse, NotificationsHaveNoId) {
  const json ready = json::parse(WriteNotification(
      kSessionReady, Value::MakeObject({{"key", "00112233445566778899aabbccddeeff"}, {"instance", "i1"}, {"api", 1}})));
  EXPECT_EQ(ready, json::parse(R"({"jsonrpc":"2.0","method":"session.ready",
      "params":{"key":"00112233445566778899aabbccddeeff","instance":"i1","api":1}})"));
}

TEST(RpcResponse, AnyBytesInTheServicesStringsStillMakeValidJson) {
  // Control characters, quotes, a lone continuation byte, a cut-short
  // character, a GBK text that slipped through: the message still parses, and
  // what is not UTF-8 becomes U+FFFD.
  const std::string hostile = std::string("a\0\x01\x1f\"\\/\n\x7f", 10) + "\x80" + "\xe6\x8a" + "\xd5\xd0";
  const std::string text = WriteNotification(kScanStatus, Value::MakeObject({{hostile, hostile}}));
  const json message = json::parse(text);
  ASSERT_EQ(message["params"].size(), 1u);
  const std::string read = message["params"].begin().value();
  EXPECT_EQ(read.substr(0, 10), std::string("a\0\x01\x1f\"\\/\n\x7f", 10));
  EXPECT_NE(read.find("\xef\xbf\xbd"), std::string::npos);
  EXPECT_EQ(message["params"].begin().key(), read);
}

}  // namespace
