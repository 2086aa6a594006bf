#pragma once
// The lockvale command line, for servers and integrators that handle the same
// files as the encryption control:
//   lockvale encrypt|decrypt SRC DST (--pass TEXT | --key-file FILE | --empty-key)
//            [--pass-encoding gbk|utf-8] [--key-bits 128|40]
//   lockvale token init|show IMAGE ...   (token images, tool/token_command.h)
// Exit status: 0 success (silent), 1 failure (the control's message), 2 usage.
#include <ostream>
#include <string>
#include <vector>

#include "cli/tool_platform.h"

namespace lockvale::cli {

using bidder::cli::kExitFailure;
using bidder::cli::kExitOk;
using bidder::cli::kExitUsage;
using bidder::cli::Platform;

// args: the arguments after the program name, as UTF-8.
int Run(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err);

}  // namespace lockvale::cli
