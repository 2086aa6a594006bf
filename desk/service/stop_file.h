#pragma once
// Stopping the service by creating a file: a way that works wherever the
// service runs, for scripts that share no console or signal with it (the
// Windows build started by a test, an uninstaller). The file is looked for a
// few times a second; it is not removed, so that whoever made it decides
// when it goes.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace bidder::desk {

class StopFile {
 public:
  StopFile() = default;
  ~StopFile();  // stops watching
  StopFile(const StopFile&) = delete;
  StopFile& operator=(const StopFile&) = delete;

  // Calls `stop` once, from a thread of its own, when the file at `path`
  // (UTF-8) exists, at once if it already does.
  void Watch(const std::string& path, std::function<void()> stop);
  void Ignore();
  bool Seen() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool ignoring_ = false;
  bool seen_ = false;
  std::thread watcher_;
};

}  // namespace bidder::desk
