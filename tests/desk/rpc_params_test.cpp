// The typed getters a method reads its parameters with: a value, nothing for
// an optional member left out, or a bad-request failure naming the member.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <variant>

#include "desk/rpc/request.h"

namespace {

using namespace bidder::desk::rpc;

Params ParamsOf(const std::string& members) {
  ParsedRequest parsed = ParseRequest(R"({"jsonrpc":"2.0","id":1,"method":"m","params":)" + members + "}");
  auto* request = std::get_if<Request>(&parsed);
  if (!request) ADD_FAILURE() << members;
  return request ? std::move(request->params) : Params();
}

constexpr IntegerRange kDpi{50, 1200};
constexpr std::array<std::string_view, 3> kModes{"color", "gray", "bw"};

TEST(RpcParams, GivesValuesOfTheRightType) {
  Params params = ParamsOf(
      "{\"title\":\"\xe6\x8a\x95\xe6\xa0\x87\",\"keep\":true,\"resolution\":300,\"to\":3e2,\"mode\":\"gray\","
      "\"extra\":{\"ignored\":[1]}}");
  EXPECT_EQ(params.String("title", Need::kRequired), "\xe6\x8a\x95\xe6\xa0\x87");  // 投标
  EXPECT_EQ(params.Bool("keep"), true);
  EXPECT_EQ(params.Integer("resolution", kDpi), 300);
  EXPECT_EQ(params.Integer("to", {0, 1000}), 300);
  EXPECT_EQ(params.Choice("mode", kModes), 1u);
  EXPECT_FALSE(params.failure());
}

TEST(RpcParams, OptionalMembersLeftOutOrNullGiveNothingAndNoFailure) {
  for (const char* members : {"{}", R"({"scanner":null,"keep":null,"resolution":null,"mode":null})"}) {
    Params params = ParamsOf(members);
    EXPECT_FALSE(params.String("scanner"));
    EXPECT_FALSE(params.Bool("keep"));
    EXPECT_FALSE(params.Integer("resolution", kDpi));
    EXPECT_FALSE(params.Choice("mode", kModes));
    EXPECT_FALSE(params.failure()) << members;
  }
  Params none;  // a request without params
  EXPECT_FALSE(none.String("scanner"));
  EXPECT_FALSE(none.failure());
}

TEST(RpcParams, EachWrongMemberIsNamed) {
  struct Case {
    const char* members;
    const char* wrong;
  };
  const Case cases[] = {
      {R"({"id":7})", "id"},                       // text expected
      {R"({"id":"p1\u0000x"})", "id"},             // text that C would cut short
      {R"({"keep":"true"})", "keep"},              // a bool as text
      {R"({"keep":1})", "keep"},
      {R"({"resolution":"300"})", "resolution"},   // an integer as text
      {R"({"resolution":300.5})", "resolution"},
      {R"({"resolution":49})", "resolution"},      // below the range
      {R"({"resolution":1201})", "resolution"},    // above it
      {R"({"resolution":1e30})", "resolution"},    // past int64
      {R"({"resolution":18446744073709551615})", "resolution"},
      {R"({"resolution":-9223372036854775808})", "resolution"},
      {R"({"mode":"Color"})", "mode"},             // choices are exact
      {R"({"mode":"color "})", "mode"},
      {R"({"mode":2})", "mode"},
  };
  for (const Case& c : cases) {
    Params params = ParamsOf(c.members);
    EXPECT_FALSE(params.String("id"));
    EXPECT_FALSE(params.Bool("keep"));
    EXPECT_FALSE(params.Integer("resolution", kDpi));
    EXPECT_FALSE(params.Choice("mode", kModes));
    ASSERT_TRUE(params.failure()) << c.members;
    EXPECT_EQ(params.failure()->reason, ErrorReason::kBadRequest);
    EXPECT_EQ(params.failure()->field, c.wrong) << c.members;
  }
}

TEST(RpcParams, AMissingRequiredMemberIsNamedAndTheFirstFailureStays) {
  Params params = ParamsOf(R"({"to":"first"})");
  EXPECT_FALSE(params.String("id", Need::kRequired));
  EXPECT_FALSE(params.Integer("to", {0, 100}, Need::kRequired));
  ASSERT_TRUE(params.failure());
  EXPECT_EQ(params.failure()->field, "id");
}

TEST(RpcParams, TheWholeInt64RangeIsExact) {
  Params params = ParamsOf(R"({"low":-9223372036854775808,"high":9223372036854775807,"float":-9007199254740992.0})");
  constexpr IntegerRange kAll{INT64_MIN, INT64_MAX};
  EXPECT_EQ(params.Integer("low", kAll), INT64_MIN);
  EXPECT_EQ(params.Integer("high", kAll), INT64_MAX);
  EXPECT_EQ(params.Integer("float", kAll), -9007199254740992);
  EXPECT_FALSE(params.failure());
}

}  // namespace
