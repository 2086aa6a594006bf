#include "tool/folvane_cli.h"

#include <string_view>

#include "tool/pdf_command.h"

namespace folvane::cli {
namespace {

struct Command {
  std::string_view name;
  CommandFunction run;
  std::string_view usage;
};

// One line per command.
constexpr Command kCommands[] = {
    {"pdf", RunPdfCommand, kPdfCommandUsage},
};

void PrintUsage(std::ostream& to) {
  to << "usage:\n";
  for (const Command& command : kCommands) to << "  folvane " << command.usage << "\n";
}

}  // namespace

int Run(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    PrintUsage(err);
    return kExitUsage;
  }
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    PrintUsage(out);
    return kExitOk;
  }
  for (const Command& command : kCommands)
    if (args[0] == command.name) return command.run({args.begin() + 1, args.end()}, platform, out, err);
  err << "folvane: unknown command " << args[0] << "\n";
  PrintUsage(err);
  return kExitUsage;
}

}  // namespace folvane::cli
