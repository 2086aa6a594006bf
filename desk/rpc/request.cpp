#include "desk/rpc/request.h"

#include <limits>
#include <memory>
#include <optional>
#include <utility>

#include "desk/rpc/bounded_json.h"
#include "desk/rpc/params_body.h"

namespace bidder::desk::rpc {
namespace {

using nlohmann::json;
using detail::JsonProblem;

RequestError Refuse(RequestId id, ErrorReason reason, std::string field = {}) {
  return RequestError{std::move(id), FailureOf(reason, std::move(field))};
}

// Text, an integer that fits int64, or null; anything else is no id. A
// fraction or an integer past int64 could not be echoed exactly.
std::optional<RequestId> ReadId(const json& value) {
  if (value.is_null()) return RequestId{nullptr};
  if (value.is_string()) return RequestId{value.get<std::string>()};
  if (value.is_number_unsigned()) {
    const auto u = value.get<json::number_unsigned_t>();
    if (u > static_cast<json::number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return RequestId{static_cast<std::int64_t>(u)};
  }
  if (value.is_number_integer()) return RequestId{value.get<json::number_integer_t>()};
  return std::nullopt;
}

ParsedRequest Parse(std::string_view message) {
  if (message.size() > kMaxRequestBytes) return Refuse(nullptr, ErrorReason::kTooLarge);
  detail::BoundedJson parsed = detail::ParseBoundedJson(message, kMaxNestingDepth);
  if (parsed.problem == JsonProblem::kSyntax) return Refuse(nullptr, ErrorReason::kParseError);
  json& document = parsed.document;
  if (!document.is_object()) return Refuse(nullptr, ErrorReason::kInvalidRequest);

  // The id first, so that every later refusal can name it. A message with no
  // id at all is a notification, which JSON-RPC never answers once it is
  // well formed; its refusals go out under a null id.
  const auto idMember = document.find("id");
  if (parsed.topLevelIdRepeated) return Refuse(nullptr, ErrorReason::kInvalidRequest, "id");
  const bool notification = idMember == document.end();
  std::optional<RequestId> id = notification ? RequestId{nullptr} : ReadId(*idMember);
  if (!id) return Refuse(nullptr, ErrorReason::kInvalidRequest, "id");

  if (parsed.problem == JsonProblem::kTooDeep) return Refuse(std::move(*id), ErrorReason::kInvalidRequest);
  if (parsed.problem == JsonProblem::kDuplicateKey) {
    return Refuse(std::move(*id), ErrorReason::kInvalidRequest, std::move(parsed.duplicateKey));
  }

  const auto version = document.find("jsonrpc");
  if (version == document.end() || *version != "2.0") {
    return Refuse(std::move(*id), ErrorReason::kInvalidRequest, "jsonrpc");
  }
  const auto method = document.find("method");
  if (method == document.end() || !method->is_string()) {
    return Refuse(std::move(*id), ErrorReason::kInvalidRequest, "method");
  }

  if (notification) return Notification{method->get<std::string>()};

  Params params;
  const auto members = document.find("params");
  if (members != document.end()) {
    if (members->is_array()) return Refuse(std::move(*id), ErrorReason::kBadRequest, "params");
    if (!members->is_object()) return Refuse(std::move(*id), ErrorReason::kInvalidRequest, "params");
    params = Params(std::make_unique<Params::Body>(Params::Body{std::move(*members)}));
  }
  return Request{std::move(*id), method->get<std::string>(), std::move(params)};
}

}  // namespace

ParsedRequest ParseRequest(std::string_view message) noexcept {
  try {
    return Parse(message);
  } catch (...) {
    // Only allocation can throw here: the message is answered, not dropped.
    return Refuse(nullptr, ErrorReason::kInternal);
  }
}

}  // namespace bidder::desk::rpc
