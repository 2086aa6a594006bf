// folvane on Windows: the wide command line is taken as UTF-8; file names
// are converted to the ANSI code page without best-fit look-alikes (a name
// that code page cannot express fails instead of naming another file);
// messages are written as the ANSI text they are.
#include <windows.h>

#include <iostream>

#include "text/codepage_win32.h"
#include "tool/folvane_cli.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    auto utf8 = bidder::WideToCodePage(argv[i], CP_UTF8);
    if (!utf8) {
      std::cerr << "folvane: argument " << i << " is not valid Unicode\n";
      return folvane::cli::kExitUsage;
    }
    args.push_back(std::move(*utf8));
  }
  folvane::cli::Platform platform;
  platform.toFilePath = [](const std::string& utf8) -> std::optional<std::string> {
    auto wide = bidder::CodePageToWide(utf8, CP_UTF8);
    return wide ? bidder::WideToCodePage(*wide, CP_ACP) : std::nullopt;
  };
  platform.toConsoleText = [](const std::string& ansi) { return ansi; };
  return folvane::cli::Run(args, platform, std::cout, std::cerr);
}
