// folvane pdf -o OUT.pdf [--creator S] [--author S] [--title S] [--subject S] PAGE...
// Binds the page files, in the order given, into one PDF with the control's
// engine. The strings are UTF-8 and must be expressible in code page 936.
// The page files are never deleted here. Files that cannot be read are
// skipped with a note on the error stream; the status is 0 as long as the PDF
// is complete.
#include "output/pdf_assembly.h"
#include "text/codepage.h"
#include "tool/folvane_commands.h"

namespace folvane::cli {
namespace {

struct PdfCommand {
  std::string output;
  PdfDocumentInfo info;  // still UTF-8 after parsing
  std::vector<std::string> pages;
};

PdfCommand Parse(const std::vector<std::string>& args) {
  PdfCommand cmd;
  bool haveOutput = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
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
  if (!haveOutput || cmd.output.empty()) throw UsageError{"pdf needs -o OUT.pdf"};
  if (cmd.pages.empty()) throw UsageError{"pdf needs at least one page file"};
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
  const PdfCommand cmd = Parse(args);
  const PdfDocumentInfo info = {ToGbk(cmd.info.creator, "--creator"), ToGbk(cmd.info.author, "--author"),
                                ToGbk(cmd.info.title, "--title"), ToGbk(cmd.info.subject, "--subject")};

  std::vector<std::string> pages;
  for (const std::string& page : cmd.pages) {
    auto path = FilePathOrReport(platform, page, err);
    if (!path) return kExitFailure;
    pages.push_back(std::move(*path));
  }
  const auto output = FilePathOrReport(platform, cmd.output, err);
  if (!output) return kExitFailure;

  const PdfAssemblyResult result = AssemblePdf(pages, *output, info, out);
  for (std::uint32_t skipped : result.skippedPages)
    err << "folvane pdf: skipped " << cmd.pages[skipped] << " (not a readable image)\n";
  if (result.outcome == PdfAssemblyOutcome::kWritten) return kExitOk;
  if (result.outcome == PdfAssemblyOutcome::kCannotCreate) out << "\n";  // end the console text's line
  err << platform.toConsoleText(result.message) << "\n";
  return kExitFailure;
}

}  // namespace folvane::cli
