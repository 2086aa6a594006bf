#include "tool/folvane_cli.h"

#include <exception>
#include <new>

#include "tool/folvane_commands.h"

namespace folvane::cli {
namespace {

constexpr Command kCommands[] = {
    {"page", "  folvane page IN.bmp OUT.tif\n      store a bitmap file as the scanning control stores a scanned page\n",
     RunPageCommand},
    {"png", "  folvane png -o OUT.png PAGE...\n      export page files as OUT.PNG (one page) or OUT_0.PNG, OUT_1.PNG, ...\n",
     RunPngCommand},
    {"pdf",
     "  folvane pdf -o OUT.pdf [--creator S] [--author S] [--title S] [--subject S] PAGE...\n"
     "      bind page files into one PDF 1.4 document, as the scanning control does\n",
     RunPdfCommand},
};

void PrintUsage(std::ostream& s) {
  s << "usage:\n";
  for (const Command& c : kCommands) s << c.usage;
}

}  // namespace

std::optional<std::string> FilePathOrReport(const Platform& platform, const std::string& arg, std::ostream& err) {
  auto path = platform.toFilePath(arg);
  if (!path) err << "folvane: " << arg << ": this system's file names cannot express it\n";
  return path;
}

int Run(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError{};
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "help") {
      PrintUsage(out);
      return kExitOk;
    }
    for (const Command& c : kCommands) {
      if (name == c.name) return c.run(args, platform, out, err);
    }
    throw UsageError{"unknown command " + name};
  } catch (const UsageError& e) {
    if (!e.why.empty()) err << "folvane: " << e.why << "\n";
    PrintUsage(err);
    return kExitUsage;
  } catch (const std::bad_alloc&) {
    err << "folvane: out of memory\n";
    return kExitFailure;
  } catch (const std::exception& e) {  // e.g. a stream that fails to read
    err << "folvane: " << e.what() << "\n";
    return kExitFailure;
  }
}

}  // namespace folvane::cli
