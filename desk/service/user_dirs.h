#pragma once
// Where this user's files for the service live. Linux, after the XDG base
// directory rules: ${XDG_CACHE_HOME:-~/.cache}, ${XDG_CONFIG_HOME:-~/.config}.
// Windows: the known folders' variables, %LOCALAPPDATA% (never roams, the
// place for gigabytes of scans), %APPDATA% and %ProgramData%.
// The environment's values (UTF-8) are passed in, so that the rules are plain code.
#include <optional>
#include <string>
#include <vector>

namespace bidder::desk {

struct UserEnvironment {
  std::optional<std::string> home;
  std::optional<std::string> xdgCacheHome;
  std::optional<std::string> xdgConfigHome;
  std::optional<std::string> localAppData;
  std::optional<std::string> appData;
  std::optional<std::string> programData;

  static UserEnvironment FromProcess();
};

// Empty when neither the XDG variable nor HOME gives an absolute path.
std::optional<std::string> DefaultWorkDir(const UserEnvironment& environment);
// %LOCALAPPDATA%\BidderDesk\work; empty without an absolute LOCALAPPDATA.
std::optional<std::string> DefaultWindowsWorkDir(const UserEnvironment& environment);

// The system's list, then the user's (when the user has a config folder).
std::vector<std::string> OriginListFiles(const UserEnvironment& environment);
// %ProgramData%\BidderDesk\origins.txt, then %APPDATA%\BidderDesk\origins.txt,
// each where its variable holds an absolute path.
std::vector<std::string> WindowsOriginListFiles(const UserEnvironment& environment);

// This platform's rule of the two above.
std::optional<std::string> PlatformWorkDir(const UserEnvironment& environment);
std::vector<std::string> PlatformOriginListFiles(const UserEnvironment& environment);

}  // namespace bidder::desk
