#include <exception>
#include <vector>

#include "desk/service/work_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;

// Compared as paths, so that a name the ANSI code page cannot hold needs no conversion.
bool IsOurs(const fs::path& name) { return name == fs::path(kWorkDirMarker) || name == fs::path(kWorkDirLock); }

}  // namespace

bool WorkDirHoldsOthersFiles(const fs::path& folder, std::error_code& ec) {
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!IsOurs(it->path().filename())) return true;
  }
  return false;
}

// Listed first, removed after: a folder changed while it is read may list
// an entry twice or not at all. Never throws (the destructor calls it).
bool WorkDir::Empty() const {
  std::error_code ec;
  std::vector<fs::path> entries;
  try {
    for (fs::directory_iterator it(Folder(), ec), end; !ec && it != end; it.increment(ec)) {
      if (!IsOurs(it->path().filename())) entries.push_back(it->path());
    }
  } catch (const std::exception&) {  // no memory, or a path that is not UTF-8
    return false;
  }
  bool emptied = !ec;
  for (const fs::path& entry : entries) {
    std::error_code removal;
    fs::remove_all(entry, removal);  // a link is removed, never followed
    if (removal) emptied = false;
  }
  return emptied;
}

}  // namespace bidder::desk
