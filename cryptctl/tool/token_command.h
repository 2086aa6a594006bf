#pragma once
// `lockvale token`: makes and shows token images for the stand-in FT_ND_API
// library (tokenstub/), for tests, the demo and integrators without a token.
//   lockvale token init IMAGE --serial HEX8 --pin PIN
//                  [--userid TEXT | --record-hex HEX64] [--fault NAME]...
//   lockvale token show IMAGE
#include <ostream>
#include <string>
#include <vector>

#include "tool/lockvale_cli.h"

namespace lockvale::cli {

extern const char kTokenUsage[];

// args: starting with "token". Throws UsageError on a bad command line.
int RunToken(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err);

}  // namespace lockvale::cli
