// folvane png -o OUT.png PAGE...
#include "output/png_export.h"
#include "output/png_messages.h"
#include "tool/folvane_commands.h"

namespace folvane::cli {

int RunPngCommand(const std::vector<std::string>& args, const Platform& platform, std::ostream&, std::ostream& err) {
  std::optional<std::string> output;
  std::vector<std::string> pages;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" || a == "--output") {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      if (output) throw UsageError{"give one output"};
      output = args[++i];
    } else if (a == "--") {
      pages.insert(pages.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option " + a};
    } else {
      pages.push_back(a);
    }
  }
  if (!output) throw UsageError{"png needs -o OUT.png"};
  if (pages.empty()) throw UsageError{"png needs at least one page file"};
  // Four characters are dropped from the output name; fewer leave no name.
  if (!PngBaseName(*output)) throw UsageError{"the output name " + *output + " is too short"};

  const auto outputPath = FilePathOrReport(platform, *output, err);
  if (!outputPath) return kExitFailure;
  std::vector<std::string> pagePaths;
  for (const std::string& p : pages) {
    const auto path = FilePathOrReport(platform, p, err);
    if (!path) return kExitFailure;
    pagePaths.push_back(*path);
  }

  const PngExportResult result = ExportPngFiles(pagePaths, *outputPath);
  bool ok = true;
  for (std::size_t i = 0; i < result.pages.size(); ++i) {
    switch (result.pages[i]) {
      case PngPageOutcome::kWritten: break;
      case PngPageOutcome::kPageUnreadable:
        err << "folvane: " << pages[i] << ": " << platform.toConsoleText(msg::kPngPageUnreadable) << "\n";
        ok = false;
        break;
      case PngPageOutcome::kOutputFailed:
        err << "folvane: " << result.outputNames[i] << ": cannot write it\n";
        ok = false;
        break;
    }
  }
  return ok ? kExitOk : kExitFailure;
}

}  // namespace folvane::cli
