#pragma once
// The lockvale command line, for servers and integrators that handle the same
// files as the encryption control:
//   lockvale encrypt|decrypt SRC DST (--pass TEXT | --key-file FILE | --empty-key)
//            [--pass-encoding gbk|utf-8] [--key-bits 128|40]
//   lockvale token init|show IMAGE ...   (token images, tool/token_command.h)
// Exit status: 0 success (silent), 1 failure (the control's message), 2 usage.
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace lockvale::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What differs between the platforms' command lines.
struct Platform {
  // A path argument (UTF-8) as the narrow path that fopen takes; nullopt when
  // the platform's file names cannot express it.
  std::function<std::optional<std::string>(const std::string& utf8)> toFilePath;
  // A message of the control (code page 936) as the console shows it.
  std::function<std::string(const std::string& gbk)> toConsoleText;
};

// args: the arguments after the program name, as UTF-8.
int Run(const std::vector<std::string>& args, const Platform& platform, std::ostream& out, std::ostream& err);

}  // namespace lockvale::cli
