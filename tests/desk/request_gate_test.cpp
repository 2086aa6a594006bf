#include "desk/access/request_gate.h"

#include <functional>

#include <gtest/gtest.h>

namespace bidder::desk {
namespace {

constexpr std::uint16_t kPort = 47380;
constexpr char kOrigin[] = "https://tender.example.cn";

class RequestGate : public testing::Test {
 protected:
  RequestGate() {
    std::vector<RefusedOrigin> refused;
    origins_.AddText(kOrigin, "list", refused);
  }

  // A page's fetch of /v1/hello from the allowed origin.
  static RequestHead Fetch() {
    RequestHead request;
    request.method = "GET";
    request.target = "/v1/hello";
    request.host = "127.0.0.1:47380";
    request.origin = kOrigin;
    request.secFetchMode = "cors";
    return request;
  }

  static RequestHead Preflight(std::string_view method) {
    RequestHead request = Fetch();
    request.method = "OPTIONS";
    request.target = "/v1/blobs";
    request.accessControlRequestMethod = method;
    return request;
  }

  GateDecision Decide(const RequestHead& request) const { return DecideRequest(request, origins_, kPort); }

  OriginList origins_;
};

std::vector<HttpHeader> AnswerHeaders() {
  return {{"Access-Control-Allow-Origin", kOrigin},
          {"Vary", "Origin"},
          {"Cache-Control", "no-store"},
          {"X-Content-Type-Options", "nosniff"}};
}

TEST_F(RequestGate, DecidesOnHeadersAlone) {
  const struct {
    const char* what;
    std::function<void(RequestHead&)> change;
    GateVerdict verdict;
    int status;
  } cases[] = {
      {"a page's fetch", [](RequestHead&) {}, GateVerdict::kProceed, 0},
      {"a WebSocket upgrade", [](RequestHead& r) { r.target = "/v1/session"; r.secFetchMode = "websocket"; },
       GateVerdict::kProceed, 0},
      {"a POST", [](RequestHead& r) { r.method = "POST"; }, GateVerdict::kProceed, 0},
      {"no Sec-Fetch-Mode (older browsers)", [](RequestHead& r) { r.secFetchMode.reset(); }, GateVerdict::kProceed, 0},
      {"Host [::1]", [](RequestHead& r) { r.host = "[::1]:47380"; }, GateVerdict::kProceed, 0},
      {"no Host", [](RequestHead& r) { r.host.reset(); }, GateVerdict::kForbidden, 403},
      {"another Host", [](RequestHead& r) { r.host = "rebound.example:47380"; }, GateVerdict::kForbidden, 403},
      {"another port", [](RequestHead& r) { r.host = "127.0.0.1:47381"; }, GateVerdict::kForbidden, 403},
      {"no Origin", [](RequestHead& r) { r.origin.reset(); }, GateVerdict::kForbidden, 403},
      {"a disallowed Origin", [](RequestHead& r) { r.origin = "https://evil.example"; }, GateVerdict::kForbidden, 403},
      {"Origin null", [](RequestHead& r) { r.origin = "null"; }, GateVerdict::kForbidden, 403},
      {"navigation", [](RequestHead& r) { r.secFetchMode = "navigate"; }, GateVerdict::kForbidden, 403},
      {"navigation, any case", [](RequestHead& r) { r.secFetchMode = "Navigate"; }, GateVerdict::kForbidden, 403},
      {"an absolute target", [](RequestHead& r) { r.target = "http://127.0.0.1:47380/v1/hello"; },
       GateVerdict::kForbidden, 403},
      {"a preflight for PUT", [](RequestHead& r) { r = Preflight("PUT"); }, GateVerdict::kForbidden, 403},
      {"a preflight from elsewhere",
       [](RequestHead& r) {
         r = Preflight("POST");
         r.origin = "https://evil.example";
       },
       GateVerdict::kForbidden, 403},
      {"a preflight for GET", [](RequestHead& r) { r = Preflight("GET"); }, GateVerdict::kPreflight, 204},
      {"a PUT", [](RequestHead& r) { r.method = "PUT"; }, GateVerdict::kRefused, 405},
      {"OPTIONS that is no preflight", [](RequestHead& r) { r.method = "OPTIONS"; }, GateVerdict::kRefused, 405},
      {"a lower-case method", [](RequestHead& r) { r.method = "get"; }, GateVerdict::kRefused, 405},
      {"a blob without a key", [](RequestHead& r) { r.target = "/v1/blobs/abc"; }, GateVerdict::kRefused, 401},
      {"an upload with another scheme",
       [](RequestHead& r) {
         r.method = "POST";
         r.target = "/v1/blobs";
         r.authorization = "Basic dXNlcjpwYXNz";
       },
       GateVerdict::kRefused, 401},
      {"a blob with an empty key",
       [](RequestHead& r) {
         r.target = "/v1/blobs/abc?x";
         r.authorization = "Bearer ";
       },
       GateVerdict::kRefused, 401},
      {"a blob with a key and blanks",
       [](RequestHead& r) {
         r.target = "/v1/blobs/abc";
         r.authorization = "Bearer a b";
       },
       GateVerdict::kRefused, 401},
  };
  for (const auto& c : cases) {
    RequestHead request = Fetch();
    c.change(request);
    const GateDecision decision = Decide(request);
    EXPECT_EQ(decision.verdict, c.verdict) << c.what;
    EXPECT_EQ(decision.status, c.status) << c.what;
    // A refused page learns nothing: not even that the service is there.
    bool corsHeaders = false;
    for (const HttpHeader& header : decision.headers) corsHeaders |= header.name.starts_with("Access-Control-");
    EXPECT_EQ(corsHeaders, decision.verdict != GateVerdict::kForbidden) << c.what;
  }
}

TEST_F(RequestGate, EveryAnswerToAnAllowedPageCarriesTheSameHeaders) {
  EXPECT_EQ(Decide(Fetch()).headers, AnswerHeaders());

  RequestHead normalised = Fetch();
  normalised.origin = "HTTPS://Tender.Example.CN:443";
  EXPECT_EQ(Decide(normalised).headers, AnswerHeaders());

  RequestHead put = Fetch();
  put.method = "PUT";
  std::vector<HttpHeader> expected = AnswerHeaders();
  expected.push_back({"Allow", "GET, POST"});
  EXPECT_EQ(Decide(put).headers, expected);

  const std::vector<HttpHeader> forbidden{{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}};
  RequestHead navigation = Fetch();
  navigation.secFetchMode = "navigate";
  EXPECT_EQ(Decide(navigation).headers, forbidden);
}

TEST_F(RequestGate, AnswersPreflightsWithAndWithoutPrivateNetwork) {
  std::vector<HttpHeader> expected = AnswerHeaders();
  expected.push_back({"Access-Control-Allow-Methods", "GET, POST"});
  expected.push_back({"Access-Control-Allow-Headers", "Authorization, Content-Type"});
  expected.push_back({"Access-Control-Max-Age", "600"});
  EXPECT_EQ(Decide(Preflight("POST")).headers, expected);

  RequestHead privateNetwork = Preflight("POST");
  privateNetwork.accessControlRequestPrivateNetwork = "true";
  expected.insert(expected.end() - 1, {"Access-Control-Allow-Private-Network", "true"});
  const GateDecision asked = Decide(privateNetwork);
  EXPECT_EQ(asked.verdict, GateVerdict::kPreflight);
  EXPECT_EQ(asked.headers, expected);

  // A preflight needs no key: browsers never send credentials with one.
  EXPECT_TRUE(asked.sessionKey.empty());
}

TEST_F(RequestGate, HandsTheBlobKeyToTheServer) {
  const struct {
    const char* target;
    const char* authorization;
    const char* key;
  } cases[] = {
      {"/v1/blobs/0f1e2d3c", "Bearer 3q2+7w==", "3q2+7w=="},
      {"/v1/blobs", "bearer abc-DEF_123.~/", "abc-DEF_123.~/"},
      {"/v1/blobs/x?download=1", "  Bearer  k  ", "k"},
      {"/v1/hello", "Bearer ignored", ""},
      {"/v1/blobsfoo", "Bearer ignored", ""},
  };
  for (const auto& c : cases) {
    RequestHead request = Fetch();
    request.target = c.target;
    request.authorization = c.authorization;
    const GateDecision decision = Decide(request);
    EXPECT_EQ(decision.verdict, GateVerdict::kProceed) << c.target;
    EXPECT_EQ(decision.sessionKey, c.key) << c.target;
  }
}

}  // namespace
}  // namespace bidder::desk
