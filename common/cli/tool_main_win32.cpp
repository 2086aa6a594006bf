#include <windows.h>

#include <iostream>

#include "cli/tool_platform.h"
#include "text/codepage_win32.h"

namespace bidder::cli {

int RunToolMain(const char* toolName, ToolRun run, int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    auto utf8 = WideToCodePage(argv[i], CP_UTF8);
    if (!utf8) {
      std::cerr << toolName << ": argument " << i << " is not valid Unicode\n";
      return kExitUsage;
    }
    args.push_back(std::move(*utf8));
  }
  Platform platform;
  platform.toFilePath = [](const std::string& utf8) -> std::optional<std::string> {
    auto wide = CodePageToWide(utf8, CP_UTF8);
    return wide ? WideToCodePage(*wide, CP_ACP) : std::nullopt;
  };
  platform.toConsoleText = [](const std::string& ansi) { return ansi; };
  return run(args, platform, std::cout, std::cerr);
}

}  // namespace bidder::cli
