#pragma once
// A small text file read whole (a list of origins, a kernel table), with a
// missing file told apart from one that cannot be read.
#include <cstddef>
#include <string>

namespace bidder::desk {

enum class TextFileStatus {
  kRead,
  kMissing,     // no such file
  kUnreadable,  // permission, a directory, an I/O error, or over the caller's limit
};

struct TextFile {
  TextFileStatus status = TextFileStatus::kUnreadable;
  std::string text;  // with kRead only: a file read halfway is not its owner's file
};

// Reads by blocks rather than by the size the file states: the kernel's
// tables under /proc state none. Never throws but for memory.
TextFile ReadTextFile(const std::string& path, std::size_t maxBytes);

}  // namespace bidder::desk
