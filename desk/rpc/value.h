#pragma once
// A JSON value as the service builds its results and notifications: null,
// bool, integer, text (UTF-8), array, object with its members in the order
// given. Plain types, so that the callers need not compile a JSON library.
#include <concepts>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace bidder::desk::rpc {

class Value {
 public:
  using Array = std::vector<Value>;
  using Member = std::pair<std::string, Value>;
  using Object = std::vector<Member>;

  Value() = default;  // null
  Value(std::nullptr_t) {}
  Value(bool b) : m_data(b) {}
  // Any integer type; unsigned values beyond the int64 range (no size the
  // service reports comes near) are clamped rather than wrapped negative.
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  Value(T i) : m_data(ToInt64(i)) {}
  // No fractions travel in the service's messages; without this a double
  // would quietly become a bool.
  template <std::floating_point T>
  Value(T) = delete;
  Value(std::string_view s) : m_data(std::string(s)) {}
  Value(const char* s) : m_data(std::string(s)) {}
  Value(std::string s) : m_data(std::move(s)) {}
  Value(Array a) : m_data(std::move(a)) {}
  Value(Object o) : m_data(std::move(o)) {}

  static Value MakeObject(std::initializer_list<Member> members) { return Value(Object(members)); }
  static Value MakeArray(std::initializer_list<Value> items) { return Value(Array(items)); }

  using Data = std::variant<std::nullptr_t, bool, std::int64_t, std::string, Array, Object>;
  const Data& data() const { return m_data; }

 private:
  template <std::integral T>
  static std::int64_t ToInt64(T i) {
    if constexpr (std::is_unsigned_v<T>) {
      constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
      return static_cast<std::int64_t>(static_cast<std::uint64_t>(i) > kMax ? kMax : static_cast<std::uint64_t>(i));
    } else {
      return static_cast<std::int64_t>(i);
    }
  }

  Data m_data = nullptr;
};

}  // namespace bidder::desk::rpc
