// Desk service requests: any message is read as a request or refused with an
// error answer, without throwing; every answer written from what was read
// (the page's id, a failure naming a member) is valid JSON, and the typed
// getters take any parameters.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "desk/rpc/request.h"
#include "desk/rpc/response.h"

namespace {

using namespace bidder::desk::rpc;

void ExpectJson(const std::string& text) {
  if (!nlohmann::json::accept(text)) std::abort();
}

void ReadParameters(Request& request) {
  static constexpr std::array<std::string_view, 3> kModes{"color", "gray", "bw"};
  Params& params = request.params;
  params.String("id");
  params.Bool("keep");
  params.Integer("resolution", {50, 1200});
  params.Integer("to", {INT64_MIN, INT64_MAX});
  params.Choice("mode", kModes, Need::kRequired);
  const Failure failure = params.failure().value_or(Failure{ErrorReason::kBadRequest, {}, {}});
  ExpectJson(WriteError(request.id, failure));
  ExpectJson(WriteResult(request.id, Value::MakeObject({{"method", request.method}})));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view message(reinterpret_cast<const char*>(data), size);
  ParsedRequest parsed = ParseRequest(message);
  if (auto* request = std::get_if<Request>(&parsed)) {
    if (size > kMaxRequestBytes) std::abort();
    ReadParameters(*request);
  } else if (auto* error = std::get_if<RequestError>(&parsed)) {
    ExpectJson(WriteError(*error));
  }
  return 0;
}
