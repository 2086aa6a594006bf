#include "desk/service/stop_file.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace bidder::desk {
namespace {

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace

StopFile::~StopFile() { Ignore(); }

void StopFile::Watch(const std::string& path, std::function<void()> stop) {
  // A char8_t copy: a narrow string would be read in the ANSI code page on Windows.
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  watcher_ = std::thread([this, file, stop = std::move(stop)] {
    std::unique_lock lock(mutex_);
    while (!ignoring_) {
      lock.unlock();
      const bool exists = Exists(file);
      lock.lock();
      if (exists) {
        seen_ = true;
        lock.unlock();
        stop();
        return;
      }
      wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return ignoring_; });
    }
  });
}

void StopFile::Ignore() {
  {
    std::lock_guard lock(mutex_);
    ignoring_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

bool StopFile::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

}  // namespace bidder::desk
