#pragma once
// folvane pdf -o OUT.pdf [--creator S] [--author S] [--title S] [--subject S] PAGE...
// Binds the page files, in the order given, into one PDF with the control's
// engine. The strings are UTF-8 and must be expressible in code page 936.
// The page files are never deleted here. Files that cannot be read are
// skipped with a note on the error stream; the status is 0 as long as the PDF
// is complete.
#include <ostream>
#include <string>
#include <vector>

#include "tool/folvane_cli.h"

namespace folvane::cli {

inline constexpr char kPdfCommandUsage[] =
    "pdf -o OUT.pdf [--creator S] [--author S] [--title S] [--subject S] PAGE...";

int RunPdfCommand(const std::vector<std::string>& args, const Platform& platform, std::ostream& out,
                  std::ostream& err);

}  // namespace folvane::cli
