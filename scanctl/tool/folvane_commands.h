#pragma once
// The commands of the folvane tool, one file each; folvane_cli.cpp lists them.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tool/folvane_cli.h"

namespace folvane::cli {

// Thrown by a command for a usage error; Run prints the usage and exits 2.
struct UsageError {
  std::string why;
};

// args[0] is the command's own name.
using CommandFunction = int (*)(const std::vector<std::string>& args, const Platform& platform, std::ostream& out,
                                std::ostream& err);

struct Command {
  const char* name;
  const char* usage;  // the lines of the usage text for this command
  CommandFunction run;
};

int RunPageCommand(const std::vector<std::string>& args, const Platform& platform, std::ostream& out,
                   std::ostream& err);
int RunPngCommand(const std::vector<std::string>& args, const Platform& platform, std::ostream& out,
                  std::ostream& err);
int RunPdfCommand(const std::vector<std::string>& args, const Platform& platform, std::ostream& out,
                  std::ostream& err);

// The path argument as a file path, or a failure message on `err`.
std::optional<std::string> FilePathOrReport(const Platform& platform, const std::string& arg, std::ostream& err);

}  // namespace folvane::cli
