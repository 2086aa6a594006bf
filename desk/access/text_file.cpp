#include "desk/access/text_file.h"

#include <cerrno>
#include <cstdio>

#include "file/file_ptr.h"

namespace bidder::desk {

TextFile ReadTextFile(const std::string& path, std::size_t maxBytes) {
  TextFile result;
  errno = 0;
  const FilePtr file = OpenFileUtf8(path, "rb");
  if (!file) {
    if (errno == ENOENT || errno == ENOTDIR) result.status = TextFileStatus::kMissing;
    return result;
  }
  char block[16 * 1024];
  for (;;) {
    const std::size_t count = std::fread(block, 1, sizeof block, file.get());
    if (count > maxBytes - result.text.size()) {
      result.text.clear();
      return result;
    }
    result.text.append(block, count);
    if (count < sizeof block) break;
  }
  if (std::ferror(file.get())) {
    result.text.clear();
    return result;
  }
  result.status = TextFileStatus::kRead;
  return result;
}

}  // namespace bidder::desk
