#include <cerrno>
#include <cstdio>

#include "acquire/file_ops.h"

namespace folvane {

bool RemoveFileIfPresent(const std::string& path) { return std::remove(path.c_str()) == 0 || errno == ENOENT; }

bool MoveFileOver(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

}  // namespace folvane
