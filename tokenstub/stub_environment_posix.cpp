#include <cstdio>
#include <cstdlib>
#include <memory>

#include "file/file_ptr.h"
#include "stub_environment.h"

namespace ftnd {
namespace {

using File = bidder::FilePtr;

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

}  // namespace

std::optional<std::string> ReadTokenImageFile(std::size_t limit) {
  const char* path = Variable("FT_ND_API_TOKEN");
  if (!path) return std::nullopt;
  File file(std::fopen(path, "rb"));
  if (!file) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get())) {
    bytes.append(chunk, n);
    if (bytes.size() > limit) return std::nullopt;
  }
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

void AppendToCallLog(const std::string& line) {
  const char* path = Variable("FT_ND_API_LOG");
  if (!path) return;
  File file(std::fopen(path, "ab"));
  if (!file) return;
  std::fwrite(line.data(), 1, line.size(), file.get());
  std::fputc('\n', file.get());
}

}  // namespace ftnd
