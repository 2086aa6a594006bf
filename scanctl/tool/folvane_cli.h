#pragma once
// The folvane command line, for servers and integrators that handle the same
// page files as the scanning control:
//   folvane page IN.bmp OUT.tif        store a bitmap as a scanned page
//   folvane png -o OUT.png PAGE...     export page files as PNG files
//   folvane pdf -o OUT.pdf [--creator S] [--author S] [--title S] [--subject S] PAGE...
//                                      bind page files into one PDF document
// Exit status: 0 success, 1 failure (with a message), 2 usage.
#include <ostream>
#include <string>
#include <vector>

#include "cli/tool_platform.h"

namespace folvane::cli {

using bidder::cli::kExitFailure;
using bidder::cli::kExitOk;
using bidder::cli::kExitUsage;
using bidder::cli::Platform;

// args: the arguments after the program name, as UTF-8.
int Run(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err);

}  // namespace folvane::cli
