#include "desk/service/user_dirs.h"

#include <cstdlib>

namespace bidder::desk {
namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

// The XDG rule: the variable when it holds an absolute path (a relative one
// is to be ignored), else HOME's subfolder.
std::optional<std::string> BaseDir(const std::optional<std::string>& xdg, const std::optional<std::string>& home,
                                   const char* homeSubfolder) {
  if (xdg && xdg->starts_with('/')) return *xdg;
  if (home && home->starts_with('/')) return *home + "/" + homeSubfolder;
  return std::nullopt;
}

}  // namespace

UserEnvironment UserEnvironment::FromProcess() {
  return {Variable("HOME"), Variable("XDG_CACHE_HOME"), Variable("XDG_CONFIG_HOME")};
}

std::optional<std::string> DefaultWorkDir(const UserEnvironment& environment) {
  const auto cache = BaseDir(environment.xdgCacheHome, environment.home, ".cache");
  if (!cache) return std::nullopt;
  return *cache + "/bidder-desk";
}

std::vector<std::string> OriginListFiles(const UserEnvironment& environment) {
  std::vector<std::string> files{"/etc/bidder-desk/origins"};
  if (const auto config = BaseDir(environment.xdgConfigHome, environment.home, ".config")) {
    files.push_back(*config + "/bidder-desk/origins");
  }
  return files;
}

}  // namespace bidder::desk
