#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

#include "desk/service/work_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;

// A descriptor that is closed when its owner goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string SystemError(const std::string& what, int error) { return what + ": " + std::strerror(error); }

bool WriteMarker(const fs::path& marker, std::string& message) {
  UniqueFd fd(::open(marker.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.get() < 0) {
    message = SystemError("cannot mark " + marker.parent_path().string() + " as the service's", errno);
    return false;
  }
  static constexpr char kText[] =
      "This folder is bidder-desk's work directory: the service empties it when it starts and when it stops.\n";
  const ssize_t written = ::write(fd.get(), kText, sizeof kText - 1);
  if (written != static_cast<ssize_t>(sizeof kText - 1)) {
    message = "cannot write " + marker.string();
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<WorkDir> WorkDir::Open(const std::string& path, WorkDirStatus& status, std::string& message) {
  status = WorkDirStatus::kRefused;
  if (path.empty()) {
    message = "no work directory: set --work-dir, HOME or XDG_CACHE_HOME";
    return nullptr;
  }
  const fs::path folder(path);
  std::error_code ec;
  if (folder.has_parent_path()) fs::create_directories(folder.parent_path(), ec);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    message = SystemError("cannot create " + path, errno);
    return nullptr;
  }
  // Not through a symbolic link, and the user's own: another user's folder
  // would give that user the documents that pass through.
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
    message = path + " is not a folder of this user (a link, a file or another user's)";
    return nullptr;
  }
  const fs::path marker = folder / kWorkDirMarker;
  if (!fs::exists(fs::symlink_status(marker, ec))) {
    const bool others = WorkDirHoldsOthersFiles(folder, ec);
    if (ec || others) {
      message = path + " holds files and is not the service's work directory (no " + kWorkDirMarker +
                "); name an empty or new folder";
      return nullptr;
    }
    if (!WriteMarker(marker, message)) return nullptr;
  }
  if (::chmod(folder.c_str(), 0700) != 0) {
    message = SystemError("cannot make " + path + " private", errno);
    return nullptr;
  }
  UniqueFd lock(::open((folder / kWorkDirLock).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (lock.get() < 0) {
    message = SystemError("cannot open the lock in " + path, errno);
    return nullptr;
  }
  if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) {
      status = WorkDirStatus::kAlreadyRunning;
      message = "another bidder-desk already runs with the work directory " + path;
    } else {
      message = SystemError("cannot lock " + path, errno);
    }
    return nullptr;
  }
  std::unique_ptr<WorkDir> workDir(new WorkDir(path, lock.release()));
  if (!workDir->Empty()) {
    message = "cannot empty " + path;
    return nullptr;
  }
  status = WorkDirStatus::kReady;
  return workDir;
}

std::filesystem::path WorkDir::Folder() const { return fs::path(path_); }

WorkDir::~WorkDir() {
  Empty();
  ::close(static_cast<int>(lock_));
}

}  // namespace bidder::desk
