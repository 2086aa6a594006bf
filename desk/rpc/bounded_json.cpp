#include "desk/rpc/bounded_json.h"

#include <utility>
#include <vector>

namespace bidder::desk::rpc::detail {
namespace {

using nlohmann::json;

// nlohmann's SAX events turned into a document, the way its own DOM builder
// does it, plus the limits. nlohmann's parser keeps its own nesting on a heap
// stack, so deep input costs memory in proportion to its size, never stack.
class BoundedBuilder {
 public:
  BoundedBuilder(BoundedJson& out, std::size_t maxDepth) : m_out(out), m_maxDepth(maxDepth) {}

  bool null() { return Put(nullptr); }
  bool boolean(bool b) { return Put(b); }
  bool number_integer(json::number_integer_t n) { return Put(n); }
  bool number_unsigned(json::number_unsigned_t n) { return Put(n); }
  bool number_float(json::number_float_t n, const json::string_t& /*text*/) { return Put(n); }
  bool string(json::string_t& s) { return Put(std::move(s)); }
  bool binary(json::binary_t& /*bytes*/) { return false; }  // JSON text has none

  bool start_object(std::size_t /*count*/) { return Open(json::value_t::object); }
  bool start_array(std::size_t /*count*/) { return Open(json::value_t::array); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }

  bool key(json::string_t& name) {
    if (m_skipping > 0) return true;
    json& object = *m_open.back();
    if (object.contains(name)) {
      if (m_out.problem == JsonProblem::kNone) {
        m_out.problem = JsonProblem::kDuplicateKey;
        m_out.duplicateKey = name;
      }
      if (m_open.size() == 1 && name == "id") m_out.topLevelIdRepeated = true;
      m_discardNext = true;
      return true;
    }
    m_member = &object[name];
    return true;
  }

  bool parse_error(std::size_t /*position*/, const std::string& /*token*/, const json::exception& /*error*/) {
    m_out.problem = JsonProblem::kSyntax;
    return false;
  }

 private:
  // Scalars: stored unless inside a skipped container or after a repeated key.
  template <typename T>
  bool Put(T&& value) {
    if (m_skipping > 0) return true;
    if (m_discardNext) {
      m_discardNext = false;
      return true;
    }
    Insert(json(std::forward<T>(value)));
    return true;
  }

  bool Open(json::value_t type) {
    if (m_skipping > 0) {
      ++m_skipping;
      return true;
    }
    if (m_discardNext || m_open.size() >= m_maxDepth) {
      if (!m_discardNext && m_out.problem == JsonProblem::kNone) m_out.problem = JsonProblem::kTooDeep;
      m_discardNext = false;
      m_skipping = 1;
      return true;
    }
    m_open.push_back(Insert(json(type)));
    return true;
  }

  bool Close() {
    if (m_skipping > 0) {
      --m_skipping;
    } else {
      m_open.pop_back();
    }
    return true;
  }

  // Where the value went: a container opened here stays at that address
  // while it is open, since only its own children are added meanwhile.
  json* Insert(json value) {
    if (m_open.empty()) {
      m_out.document = std::move(value);
      return &m_out.document;
    }
    json& container = *m_open.back();
    if (container.is_array()) {
      container.push_back(std::move(value));
      return &container.back();
    }
    *m_member = std::move(value);
    return m_member;
  }

  BoundedJson& m_out;
  const std::size_t m_maxDepth;
  std::vector<json*> m_open;
  json* m_member = nullptr;
  std::size_t m_skipping = 0;  // containers being read past, innermost included
  bool m_discardNext = false;  // the value after a repeated key
};

}  // namespace

BoundedJson ParseBoundedJson(std::string_view text, std::size_t maxDepth) {
  BoundedJson out;
  BoundedBuilder builder(out, maxDepth);
  json::sax_parse(text.data(), text.data() + text.size(), &builder, json::input_format_t::json, true, false);
  return out;
}

}  // namespace bidder::desk::rpc::detail
