#include "desk/service/conversation.h"

#include <variant>

#include "desk/rpc/request.h"
#include "desk/rpc/response.h"

namespace bidder::desk {

std::string AnswerMessage(std::string_view message) {
  rpc::ParsedRequest parsed = rpc::ParseRequest(message);
  if (const auto* error = std::get_if<rpc::RequestError>(&parsed)) return rpc::WriteError(*error);
  const auto* request = std::get_if<rpc::Request>(&parsed);
  if (!request) return {};  // a notification
  return rpc::WriteError(request->id, rpc::FailureOf(rpc::ErrorReason::kUnknownMethod, "method"));
}

}  // namespace bidder::desk
