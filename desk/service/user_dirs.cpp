#include "desk/service/user_dirs.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>

#include "text/codepage_win32.h"
#endif

namespace bidder::desk {
namespace {

std::optional<std::string> Variable(const char* name) {
#ifdef _WIN32
  // The wide environment: the ANSI one loses a user folder's name outside the code page.
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  const wchar_t* value = _wgetenv(wideName.c_str());
  if (!value) return std::nullopt;
  return WideToCodePage(value, CP_UTF8);
#else
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
#endif
}

// "C:\..." or "\\server\...": a relative value is ignored, as XDG's are.
bool IsAbsoluteWindowsPath(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path.starts_with("\\\\");
}

std::optional<std::string> WindowsSubfolder(const std::optional<std::string>& base, const char* rest) {
  if (!base || !IsAbsoluteWindowsPath(*base)) return std::nullopt;
  std::string folder = *base;
  if (!folder.ends_with('\\') && !folder.ends_with('/')) folder += '\\';
  return folder + rest;
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
  return {Variable("HOME"),         Variable("XDG_CACHE_HOME"), Variable("XDG_CONFIG_HOME"),
          Variable("LOCALAPPDATA"), Variable("APPDATA"),        Variable("ProgramData")};
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

namespace bidder::desk {

std::optional<std::string> DefaultWindowsWorkDir(const UserEnvironment& environment) {
  return WindowsSubfolder(environment.localAppData, "BidderDesk\\work");
}

std::vector<std::string> WindowsOriginListFiles(const UserEnvironment& environment) {
  std::vector<std::string> files;
  if (auto system = WindowsSubfolder(environment.programData, "BidderDesk\\origins.txt")) files.push_back(*system);
  if (auto user = WindowsSubfolder(environment.appData, "BidderDesk\\origins.txt")) files.push_back(*user);
  return files;
}

std::optional<std::string> PlatformWorkDir(const UserEnvironment& environment) {
#ifdef _WIN32
  return DefaultWindowsWorkDir(environment);
#else
  return DefaultWorkDir(environment);
#endif
}

std::vector<std::string> PlatformOriginListFiles(const UserEnvironment& environment) {
#ifdef _WIN32
  return WindowsOriginListFiles(environment);
#else
  return OriginListFiles(environment);
#endif
}

}  // namespace bidder::desk
