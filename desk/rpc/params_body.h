#pragma once
// Inside the library only: what a Params holds.
#include <nlohmann/json.hpp>

#include "desk/rpc/params.h"

namespace bidder::desk::rpc {

struct Params::Body {
  nlohmann::json object;  // always a JSON object
};

}  // namespace bidder::desk::rpc
