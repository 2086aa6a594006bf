#pragma once
// The folvane command line, for servers and integrators that handle the same
// page files as the scanning control:
//   folvane page IN.bmp OUT.tif        store a bitmap as a scanned page
//   folvane png -o OUT.png PAGE...     export page files as PNG files
// Exit status: 0 success, 1 failure (with a message), 2 usage.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace folvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What differs between the platforms' command lines.
struct Platform {
  // A path argument (UTF-8) as the narrow path that the file functions take;
  // nullopt when the platform's file names cannot express it.
  std::function<std::optional<std::string>(const std::string& utf8)> toFilePath;
  // A message of the control (code page 936) as the console shows it.
  std::function<std::string(const std::string& gbk)> toConsoleText;
};

// args: the arguments after the program name, as UTF-8.
int Run(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err);

}  // namespace folvane::cli
