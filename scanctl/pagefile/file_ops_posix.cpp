#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "pagefile/file_ops.h"

namespace folvane {

// unlink, not remove: remove() would also take away an empty directory.
bool RemoveFileIfPresent(const std::string& path) { return unlink(path.c_str()) == 0 || errno == ENOENT; }

bool NameIsFree(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

bool MoveFileOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool SeekFile(std::FILE* file, std::int64_t offset, int whence) {
  return fseeko(file, static_cast<off_t>(offset), whence) == 0;
}

std::int64_t TellFile(std::FILE* file) { return ftello(file); }

}  // namespace folvane
