#include "desk/rpc/response.h"

#include <type_traits>
#include <utility>
#include <variant>

#include <nlohmann/json.hpp>

namespace bidder::desk::rpc {
namespace {

// Insertion order kept, so that answers read in the order the code builds them.
using Json = nlohmann::ordered_json;

Json ToJson(const Value& value) {
  return std::visit(
      [](const auto& data) -> Json {
        using T = std::decay_t<decltype(data)>;
        if constexpr (std::is_same_v<T, Value::Array>) {
          Json array = Json::array();
          for (const Value& item : data) array.push_back(ToJson(item));
          return array;
        } else if constexpr (std::is_same_v<T, Value::Object>) {
          Json object = Json::object();
          for (const auto& [name, member] : data) object[name] = ToJson(member);
          return object;
        } else {
          return Json(data);
        }
      },
      value.data());
}

Json ToJson(const RequestId& id) {
  return std::visit([](const auto& v) { return Json(v); }, id);
}

Json Envelope() {
  Json message = Json::object();
  message["jsonrpc"] = "2.0";
  return message;
}

std::string Text(const Json& message) {
  return message.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string WriteResult(const RequestId& id, const Value& result) {
  Json message = Envelope();
  message["id"] = ToJson(id);
  message["result"] = ToJson(result);
  return Text(message);
}

std::string WriteError(const RequestId& id, const Failure& failure) {
  const ErrorKind& kind = Describe(failure.reason);
  Json data = Json::object();
  data["reason"] = kind.key;
  if (!failure.field.empty()) data["field"] = failure.field;
  Json error = Json::object();
  error["code"] = kind.code;
  error["message"] = MessageOf(failure);
  error["data"] = std::move(data);

  Json message = Envelope();
  message["id"] = ToJson(id);
  message["error"] = std::move(error);
  return Text(message);
}

std::string WriteError(const RequestError& error) { return WriteError(error.id, error.failure); }

std::string WriteNotification(std::string_view method, const Value& params) {
  Json message = Envelope();
  message["method"] = method;
  message["params"] = ToJson(params);
  return Text(message);
}

}  // namespace bidder::desk::rpc
