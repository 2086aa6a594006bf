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
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace bidder::desk {

inline constexpr char kWorkDirMarker[] = ".bidder-desk-work";
inline constexpr char kWorkDirLock[] = ".lock";

enum class WorkDirStatus {
  kReady,
  kAlreadyRunning,  // another instance holds the lock
  kRefused,         // not a folder the service may use; the message says why
};

// Whether the folder holds anything besides the marker and the lock (a
// folder left by a crash before its marker was written holds at most the lock).
bool WorkDirHoldsOthersFiles(const std::filesystem::path& folder, std::error_code& ec);

class WorkDir {
 public:
  // Creates the folder (and its parents) when missing, makes it private
  // (mode 0700 on POSIX; on Windows it keeps the user's own folder's
  // permissions), takes the lock, then empties it. `path` is UTF-8. Empty unless kReady, with
  // `message` saying why.
  static std::unique_ptr<WorkDir> Open(const std::string& path, WorkDirStatus& status, std::string& message);

  // Empties the folder, then releases the lock.
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;

  const std::string& Path() const { return path_; }  // UTF-8, for messages
  // The folder for the file functions. On Windows a name outside ASCII is
  // given as its short (8.3) name where the volume has one: the controls'
  // file code, which the service shares, opens narrow paths in the ANSI code
  // page, which cannot hold every user's folder name.
  std::filesystem::path Folder() const;
  // Removes everything but the marker and the lock; false when something
  // could not be removed.
  bool Empty() const;

 private:
  WorkDir(std::string path, std::intptr_t lock) : path_(std::move(path)), lock_(lock) {}
  std::string path_;
  std::intptr_t lock_;  // the lock file's descriptor (POSIX) or handle (Windows), held open
};

}  // namespace bidder::desk
