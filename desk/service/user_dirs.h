#pragma once
// Where this user's files for the service live on Linux, after the XDG base
// directory rules: ${XDG_CACHE_HOME:-~/.cache}, ${XDG_CONFIG_HOME:-~/.config}.
// The environment's values are passed in, so that the rules are plain code.
#include <optional>
#include <string>
#include <vector>

namespace bidder::desk {

struct UserEnvironment {
  std::optional<std::string> home;
  std::optional<std::string> xdgCacheHome;
  std::optional<std::string> xdgConfigHome;

  static UserEnvironment FromProcess();
};

// Empty when neither the XDG variable nor HOME gives an absolute path.
std::optional<std::string> DefaultWorkDir(const UserEnvironment& environment);

// The system's list, then the user's (when the user has a config folder).
std::vector<std::string> OriginListFiles(const UserEnvironment& environment);

}  // namespace bidder::desk
