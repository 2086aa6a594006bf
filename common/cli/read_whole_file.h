#pragma once
#include <cstddef>
#include <string>

namespace bidder::cli {

enum class FileReadStatus {
  kRead,
  kUnreadable,  // missing, a directory, an I/O error
  kTooLarge,    // more than the caller's limit
};

struct FileRead {
  FileReadStatus status = FileReadStatus::kUnreadable;
  std::string bytes;  // the whole file, for kRead
};

// A file's bytes, up to `maxBytes`. Reading stops one byte past the limit,
// so a device or a pipe that never ends (/dev/zero, a FIFO) costs no more
// than the limit. Never throws but for memory.
FileRead ReadWholeFile(const std::string& path, std::size_t maxBytes);

}  // namespace bidder::cli
