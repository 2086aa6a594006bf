// folvane on POSIX systems: arguments and file names are bytes as given,
// messages are shown in UTF-8.
#include <iostream>

#include "text/codepage.h"
#include "tool/folvane_cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  folvane::cli::Platform platform;
  platform.toFilePath = [](const std::string& path) -> std::optional<std::string> { return path; };
  platform.toConsoleText = [](const std::string& gbk) { return bidder::GbkToUtf8(gbk).value_or(gbk); };
  return folvane::cli::Run(args, platform, std::cout, std::cerr);
}
