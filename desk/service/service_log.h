#pragma once
// The service's log: one line per event, with the time, to a file the user
// named or to standard error. What goes in is the caller's care: never a
// session key, PIN, pass phrase, USERID or a document's content.
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "file/file_ptr.h"

namespace bidder::desk {

class ServiceLog {
 public:
  // Standard error.
  ServiceLog() = default;
  // Appends to `path`; empty when it cannot be opened.
  static std::unique_ptr<ServiceLog> OpenFile(const std::string& path);

  // From any thread.
  void Line(std::string_view text);

 private:
  explicit ServiceLog(FilePtr file) : file_(std::move(file)) {}
  std::FILE* Stream() const { return file_ ? file_.get() : stderr; }

  std::mutex mutex_;
  FilePtr file_;
};

}  // namespace bidder::desk
