#include <windows.h>

#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "desk/service/work_dir.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;

class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

std::string SystemError(const std::string& what, DWORD error) {
  return what + ": " + std::system_category().message(static_cast<int>(error));
}

bool WriteMarker(const fs::path& marker, const std::string& folderText, std::string& message) {
  UniqueHandle file(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    message = SystemError("cannot mark " + folderText + " as the service's", GetLastError());
    return false;
  }
  static constexpr char kText[] =
      "This folder is BidderDesk's work directory: the service empties it when it starts and when it stops.\r\n";
  DWORD written = 0;
  if (!WriteFile(file.get(), kText, sizeof kText - 1, &written, nullptr) || written != sizeof kText - 1) {
    message = "cannot write the marker in " + folderText;
    return false;
  }
  return true;
}

bool IsAscii(std::wstring_view text) {
  for (wchar_t c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path WorkDir::Folder() const {
  fs::path folder(std::u8string(path_.begin(), path_.end()));  // checked as UTF-8 by Open
  if (IsAscii(folder.native())) return folder;
  const DWORD length = GetShortPathNameW(folder.c_str(), nullptr, 0);
  if (length == 0) return folder;
  std::wstring shortName(length, L'\0');
  const DWORD written = GetShortPathNameW(folder.c_str(), shortName.data(), length);
  if (written == 0 || written >= length) return folder;
  shortName.resize(written);
  return IsAscii(shortName) ? fs::path(shortName) : folder;
}

std::unique_ptr<WorkDir> WorkDir::Open(const std::string& path, WorkDirStatus& status, std::string& message) {
  status = WorkDirStatus::kRefused;
  if (path.empty()) {
    message = "no work directory: set --work-dir or LOCALAPPDATA";
    return nullptr;
  }
  fs::path folder;
  try {
    folder = fs::path(std::u8string(path.begin(), path.end()));
  } catch (const std::exception&) {
    message = "the work directory's name is not UTF-8";
    return nullptr;
  }
  std::error_code ec;
  if (folder.has_parent_path()) fs::create_directories(folder.parent_path(), ec);
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    message = SystemError("cannot create " + path, GetLastError());
    return nullptr;
  }
  // Not through a junction or a symbolic link: the folder emptied must be
  // the folder named.
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    message = path + " is not a folder (a link or a file)";
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
    if (!WriteMarker(marker, path, message)) return nullptr;
  }
  // Shared for reading and writing so that a second instance can open it and
  // ask for the lock; the lock itself is the byte range.
  const fs::path lockPath = folder / kWorkDirLock;
  UniqueHandle lock(CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (lock.get() == INVALID_HANDLE_VALUE) {
    message = SystemError("cannot open the lock in " + path, GetLastError());
    return nullptr;
  }
  OVERLAPPED whole{};
  if (!LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      status = WorkDirStatus::kAlreadyRunning;
      message = "another BidderDesk already runs with the work directory " + path;
    } else {
      message = SystemError("cannot lock " + path, error);
    }
    return nullptr;
  }
  std::unique_ptr<WorkDir> workDir(new WorkDir(path, reinterpret_cast<std::intptr_t>(lock.release())));
  if (!workDir->Empty()) {
    message = "cannot empty " + path;
    return nullptr;
  }
  status = WorkDirStatus::kReady;
  return workDir;
}

// Closing the handle releases the lock.
WorkDir::~WorkDir() {
  Empty();
  CloseHandle(reinterpret_cast<HANDLE>(lock_));
}

}  // namespace bidder::desk
