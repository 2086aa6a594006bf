#include <iostream>

#include "cli/tool_platform.h"
#include "text/codepage.h"

namespace bidder::cli {

int RunToolMain(const char* /*toolName*/, ToolRun run, int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  Platform platform;
  platform.toFilePath = [](const std::string& path) -> std::optional<std::string> { return path; };
  platform.toConsoleText = [](const std::string& gbk) { return GbkToUtf8(gbk).value_or(gbk); };
  return run(args, platform, std::cout, std::cerr);
}

}  // namespace bidder::cli
