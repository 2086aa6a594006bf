#include "cli/read_whole_file.h"

#include <cstdio>
#include <memory>

namespace bidder::cli {

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return std::nullopt;
  std::string bytes;
  char block[64 * 1024];
  for (;;) {
    const std::size_t count = std::fread(block, 1, sizeof block, file.get());
    bytes.append(block, count);
    if (count < sizeof block) break;
  }
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

}  // namespace bidder::cli
