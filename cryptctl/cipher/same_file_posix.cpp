#include <sys/stat.h>

#include "cipher/same_file.h"

namespace lockvale {

bool NamesOpenFile(std::FILE* open, const std::string& path) {
  struct stat opened {}, named {};
  if (fstat(fileno(open), &opened) != 0 || stat(path.c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool IsOpenDirectory(std::FILE* open) {
  struct stat opened {};
  return fstat(fileno(open), &opened) == 0 && S_ISDIR(opened.st_mode);
}

}  // namespace lockvale
