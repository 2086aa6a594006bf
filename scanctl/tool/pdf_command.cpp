#include "tool/pdf_command.h"

#include <optional>

#include "output/pdf_assembly.h"
#include "text/codepage.h"

namespace folvane::cli {
namespace {

struct UsageError {
  std::string why;
};

struct PdfCommand {
  std::string output;
  PdfDocumentInfo info;  // still UTF-8 after parsing
  std::vector<std::string> pages;
};

PdfCommand Parse(const std::vector<std::string>& args) {
  PdfCommand cmd;
  bool haveOutput = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
      return args[++i];
    };
    if (a == "-o") {
      cmd.output = value();
      haveOutput = true;
    } else if (a == "--creator") {
      cmd.info.creator = value();
    } else if (a == "--author") {
      cmd.info.author = value();
    } else if (a == "--title") {
      cmd.info.title = value();
    } else if (a == "--subject") {
      cmd.info.subject = value();
    } else if (a == "--") {
      cmd.pages.insert(cmd.pages.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else if (a.size() > 1 && a[0] == '-') {
      throw UsageError{"unknown option " + a};
    } else {
      cmd.pages.push_back(a);
    }
  }
  if (!haveOutput || cmd.output.empty()) throw UsageError{"give the output file with -o"};
  if (cmd.pages.empty()) throw UsageError{"give at least one page file"};
  return cmd;
}

std::string ToGbk(const std::string& utf8, const char* option) {
  auto gbk = bidder::Utf8ToGbk(utf8);
  if (!gbk) throw UsageError{std::string(option) + " has characters that GBK cannot express"};
  return *gbk;
}

}  // namespace

int RunPdfCommand(const std::vector<std::string>& args, const Platform& platform, std::ostream& out,
                  std::ostream& err) {
  PdfCommand cmd;
  PdfDocumentInfo info;
  try {
    cmd = Parse(args);
    info = {ToGbk(cmd.info.creator, "--creator"), ToGbk(cmd.info.author, "--author"),
            ToGbk(cmd.info.title, "--title"), ToGbk(cmd.info.subject, "--subject")};
  } catch (const UsageError& e) {
    err << "folvane pdf: " << e.why << "\nusage: folvane " << kPdfCommandUsage << "\n";
    return kExitUsage;
  }

  std::vector<std::string> pages;
  for (const std::string& page : cmd.pages) {
    auto path = platform.toFilePath(page);
    if (!path) {
      err << "folvane pdf: " << page << " cannot be named on this system\n";
      return kExitFailure;
    }
    pages.push_back(std::move(*path));
  }
  auto output = platform.toFilePath(cmd.output);
  if (!output) {
    err << "folvane pdf: " << cmd.output << " cannot be named on this system\n";
    return kExitFailure;
  }

  const PdfAssemblyResult result = AssemblePdf(pages, *output, info, out);
  for (std::uint32_t skipped : result.skippedPages)
    err << "folvane pdf: skipped " << cmd.pages[skipped] << " (not a readable image)\n";
  if (result.outcome == PdfAssemblyOutcome::kWritten) return kExitOk;
  if (result.outcome == PdfAssemblyOutcome::kCannotCreate) out << "\n";  // end the console text's line
  err << platform.toConsoleText(result.message) << "\n";
  return kExitFailure;
}

}  // namespace folvane::cli
