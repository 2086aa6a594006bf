#include "cli/read_whole_file.h"

#include <cstdio>
#include <memory>

namespace bidder::cli {

FileRead ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  FileRead result;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return result;
  // A file that says its size is read into a buffer of that size, so that a
  // large file is never held twice while the buffer grows.
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size > 0 && static_cast<unsigned long>(size) <= maxBytes) result.bytes.reserve(static_cast<std::size_t>(size));
    std::rewind(file.get());
  }
  char block[64 * 1024];
  for (;;) {
    // One byte more than the limit tells a file of exactly maxBytes from a longer one.
    const std::size_t left = maxBytes - result.bytes.size();
    const std::size_t wanted = left < sizeof block ? left + 1 : sizeof block;
    const std::size_t count = std::fread(block, 1, wanted, file.get());
    if (count > left) {
      result.bytes.clear();
      result.status = FileReadStatus::kTooLarge;
      return result;
    }
    result.bytes.append(block, count);
    if (count < wanted) break;
  }
  if (std::ferror(file.get())) {
    result.bytes.clear();
    return result;
  }
  result.status = FileReadStatus::kRead;
  return result;
}

}  // namespace bidder::cli
