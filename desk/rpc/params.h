#pragma once
// A request's parameters, read through typed getters. A getter gives the
// value, or nothing when the member is absent (or null) and optional; a
// member of the wrong type, out of range or missing while required gives
// nothing and records a bad-request failure naming it. Only the first
// failure is kept, so a method reads all its parameters and then checks
// failure() once. Members the method does not read are ignored: newer pages
// may send more.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "desk/rpc/errors.h"

namespace bidder::desk::rpc {

enum class Need { kOptional, kRequired };

struct IntegerRange {
  std::int64_t min;
  std::int64_t max;
};

class Params {
 public:
  struct Body;  // the parsed object; defined inside the library

  Params();  // no parameters
  explicit Params(std::unique_ptr<Body> body);
  Params(Params&&) noexcept;
  Params& operator=(Params&&) noexcept;
  ~Params();

  // Text (UTF-8, as JSON carries it). Text holding U+0000 is refused: it
  // would end the string early in the C interfaces the values go on to.
  std::optional<std::string> String(std::string_view field, Need need = Need::kOptional);
  std::optional<bool> Bool(std::string_view field, Need need = Need::kOptional);
  // An integer within [range.min, range.max]; 300.0 is taken as 300, 300.5
  // and anything beyond the range is refused.
  std::optional<std::int64_t> Integer(std::string_view field, IntegerRange range, Need need = Need::kOptional);
  // One of `allowed`, exactly; gives its index.
  std::optional<std::size_t> Choice(std::string_view field, std::span<const std::string_view> allowed,
                                    Need need = Need::kOptional);

  // The first failure of the getters so far: reason kBadRequest, field set.
  const std::optional<Failure>& failure() const { return m_failure; }

 private:
  void Fail(std::string_view field);
  // `found`, after failing when a required member is not there.
  bool Present(bool found, std::string_view field, Need need);

  std::unique_ptr<Body> m_body;
  std::optional<Failure> m_failure;
};

}  // namespace bidder::desk::rpc
