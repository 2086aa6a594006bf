#pragma once
// What the command-line tools (lockvale, folvane) share: their exit statuses,
// what differs between the platforms' command lines, and the program entry
// that supplies it. Each tool is a portable Run function over UTF-8
// arguments; its main file only names it.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace bidder::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What differs between the platforms' command lines.
struct Platform {
  // A path argument (UTF-8) as the narrow path that the file functions take;
  // nullopt when the platform's file names cannot express it.
  std::function<std::optional<std::string>(const std::string& utf8)> toFilePath;
  // A message of the controls (code page 936) as the console shows it.
  std::function<std::string(const std::string& gbk)> toConsoleText;
};

// args: the arguments after the program name, as UTF-8.
using ToolRun = int (*)(const std::vector<std::string>& args, const Platform& platform, std::ostream& out,
                        std::ostream& err);

// The program entry of a tool named toolName on this platform:
// - Windows (wmain): the wide command line is taken as UTF-8; file names are
//   converted to the ANSI code page without best-fit look-alikes (a name that
//   code page cannot express fails instead of naming another file); messages
//   are written as the ANSI text they are.
// - POSIX (main): arguments and file names are bytes as given; messages are
//   shown in UTF-8.
#ifdef _WIN32
int RunToolMain(const char* toolName, ToolRun run, int argc, wchar_t** argv);
#else
int RunToolMain(const char* toolName, ToolRun run, int argc, char** argv);
#endif

}  // namespace bidder::cli
