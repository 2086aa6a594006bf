#pragma once
// Inside the library only: JSON text read into a document under a nesting
// limit. The document is built without recursion, members deeper than the
// limit are read past but never stored, and a key that repeats within one
// object keeps its first value and is reported, so that no two readers of
// the same message (a proxy, a log, the service) can take different values
// from it.
#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace bidder::desk::rpc::detail {

enum class JsonProblem {
  kNone,
  kSyntax,        // not JSON (invalid UTF-8, a number beyond double's range, ...)
  kTooDeep,       // containers nested deeper than the limit
  kDuplicateKey,  // a key repeats within one object
};

struct BoundedJson {
  nlohmann::json document;   // what was read; with kSyntax, whatever came before the fault
  JsonProblem problem = JsonProblem::kNone;
  std::string duplicateKey;  // the first key that repeated
  bool topLevelIdRepeated = false;
};

// `maxDepth` counts containers: a bare object is depth 1, an object in it 2.
// Throws only what allocation throws.
BoundedJson ParseBoundedJson(std::string_view text, std::size_t maxDepth);

}  // namespace bidder::desk::rpc::detail
