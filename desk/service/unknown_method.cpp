#include "desk/service/unknown_method.h"

#include <nlohmann/json.hpp>

namespace bidder::desk {

std::string AnswerUnknownMethod(std::string_view message) {
  const nlohmann::json request = nlohmann::json::parse(message, nullptr, /*allow_exceptions=*/false);
  nlohmann::json id = nullptr;
  if (request.is_object()) {
    const auto found = request.find("id");
    if (found == request.end()) {
      if (request.contains("method")) return {};
    } else if (found->is_string() || found->is_number()) {
      id = *found;
    }
  }
  const nlohmann::json answer = {
      {"jsonrpc", "2.0"},
      {"id", id},
      {"error", {{"code", -32601}, {"message", "unknown method"}}},
  };
  return answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace bidder::desk
