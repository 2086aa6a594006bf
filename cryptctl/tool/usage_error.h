#pragma once
// A command line that does not parse: the tool prints `why` and its usage.
#include <string>

namespace lockvale::cli {

struct UsageError {
  std::string why;
};

}  // namespace lockvale::cli
