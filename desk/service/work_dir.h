#pragma once
// The service's private work directory: where documents, sealed files and
// blobs will stream through (on disk, not in memory: a sealed file may be
// gigabytes), and where the one-instance lock lives.
//
// The service empties the folder at start and at exit, so it must never
// take a folder that is not its own: a folder is the service's when the
// service made it, or when it carries the service's marker file. A folder
// that holds anything else (a mistyped --work-dir pointing at the home
// folder) is refused, untouched.
#include <memory>
#include <string>

namespace bidder::desk {

inline constexpr char kWorkDirMarker[] = ".bidder-desk-work";
inline constexpr char kWorkDirLock[] = ".lock";

enum class WorkDirStatus {
  kReady,
  kAlreadyRunning,  // another instance holds the lock
  kRefused,         // not a folder the service may use; the message says why
};

class WorkDir {
 public:
  // Creates the folder (and its parents) when missing, sets its mode to
  // 0700, takes the lock, then empties it. Empty unless kReady, with
  // `message` saying why.
  static std::unique_ptr<WorkDir> Open(const std::string& path, WorkDirStatus& status, std::string& message);

  // Empties the folder, then releases the lock.
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  const std::string& Path() const { return path_; }
  // Removes everything but the marker and the lock; false when something
  // could not be removed.
  bool Empty() const;

 private:
  WorkDir(std::string path, int lockFd) : path_(std::move(path)), lockFd_(lockFd) {}
  std::string path_;
  int lockFd_;
};

}  // namespace bidder::desk
