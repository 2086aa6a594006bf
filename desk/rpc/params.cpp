#include "desk/rpc/params.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "desk/rpc/params_body.h"

namespace bidder::desk::rpc {
namespace {

using nlohmann::json;

// Integers a double holds exactly: beyond these, 2^53 + 1 reads as 2^53.
constexpr double kExactDoubleLimit = 9007199254740992.0;  // 2^53

std::optional<std::int64_t> ExactInteger(const json& value) {
  if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<json::number_integer_t>();
  if (value.is_number_unsigned()) {
    const auto u = value.get<json::number_unsigned_t>();
    if (u > static_cast<json::number_unsigned_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(u);
  }
  if (value.is_number_float()) {
    const double d = value.get<json::number_float_t>();
    // Finite by the parser; the bound makes the conversion defined and exact.
    if (!(std::fabs(d) <= kExactDoubleLimit) || std::trunc(d) != d) return std::nullopt;
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

// The member; nullptr when it is absent or null (a moved-from Params has none).
const json* Find(const std::unique_ptr<Params::Body>& body, std::string_view field) {
  if (!body) return nullptr;
  const auto it = body->object.find(field);
  if (it == body->object.end() || it->is_null()) return nullptr;
  return &*it;
}

}  // namespace

Params::Params() : m_body(std::make_unique<Body>(Body{json::object()})) {}
Params::Params(std::unique_ptr<Body> body) : m_body(std::move(body)) {}
Params::Params(Params&&) noexcept = default;
Params& Params::operator=(Params&&) noexcept = default;
Params::~Params() = default;

void Params::Fail(std::string_view field) {
  if (!m_failure) m_failure = FailureOf(ErrorReason::kBadRequest, std::string(field));
}

bool Params::Present(bool found, std::string_view field, Need need) {
  if (!found && need == Need::kRequired) Fail(field);
  return found;
}

std::optional<std::string> Params::String(std::string_view field, Need need) {
  const json* value = Find(m_body, field);
  if (!Present(value != nullptr, field, need)) return std::nullopt;
  if (!value->is_string()) {
    Fail(field);
    return std::nullopt;
  }
  const auto& text = value->get_ref<const json::string_t&>();
  if (text.find('\0') != std::string::npos) {
    Fail(field);
    return std::nullopt;
  }
  return text;
}

std::optional<bool> Params::Bool(std::string_view field, Need need) {
  const json* value = Find(m_body, field);
  if (!Present(value != nullptr, field, need)) return std::nullopt;
  if (!value->is_boolean()) {
    Fail(field);
    return std::nullopt;
  }
  return value->get<bool>();
}

std::optional<std::int64_t> Params::Integer(std::string_view field, IntegerRange range, Need need) {
  const json* value = Find(m_body, field);
  if (!Present(value != nullptr, field, need)) return std::nullopt;
  const std::optional<std::int64_t> n = ExactInteger(*value);
  if (!n || *n < range.min || *n > range.max) {
    Fail(field);
    return std::nullopt;
  }
  return n;
}

std::optional<std::size_t> Params::Choice(std::string_view field, std::span<const std::string_view> allowed,
                                          Need need) {
  const std::optional<std::string> text = String(field, need);
  if (!text) return std::nullopt;
  const auto it = std::find(allowed.begin(), allowed.end(), *text);
  if (it == allowed.end()) {
    Fail(field);
    return std::nullopt;
  }
  return static_cast<std::size_t>(it - allowed.begin());
}

}  // namespace bidder::desk::rpc
