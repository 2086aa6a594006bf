#pragma once
// The lockvale command line run in-process, as the tests see it: paths taken
// as given, the control's messages bracketed so tests can match them exactly.
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tool/lockvale_cli.h"

namespace lockvale::cli {

struct Outcome {
  int exitCode;
  std::string out, err;
};

inline Outcome RunTool(const std::vector<std::string>& args) {
  Platform platform;
  platform.toFilePath = [](const std::string& p) -> std::optional<std::string> { return p; };
  platform.toConsoleText = [](const std::string& gbk) { return "[" + gbk + "]"; };
  std::ostringstream out, err;
  const int code = Run(args, platform, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace lockvale::cli
