#include "desk/document/document.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "acquire/dib.h"
#include "acquire/dib_page_writer.h"
#include "desk/document/disk_full.h"
#include "desk/document/page_file_info.h"

namespace bidder::desk {
namespace fs = std::filesystem;

std::string_view PageModeName(PageMode mode) {
  switch (mode) {
    case PageMode::kColor: return "color";
    case PageMode::kGray: return "gray";
    case PageMode::kBlackWhite: return "bw";
  }
  return "color";
}

Document::Document(fs::path folder) : folder_(std::move(folder)) { MakeFolder(); }

Document::~Document() {
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

std::error_code Document::MakeFolder() const {
  std::error_code error;
  if (fs::is_directory(folder_, error)) return {};
  fs::create_directories(folder_, error);
  if (error) return error;
  // Scanned pages are the bidder's documents: no other user reads them.
  fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::replace, error);
  return error;
}

std::optional<PageInfo> Document::AddDibPage(std::span<const std::uint8_t> packedDib, bool* diskFull) {
  if (diskFull) *diskFull = false;
  // The number is taken first and the page written without the lock, so the
  // page list stays available while a large page is compressed.
  std::string id, path;
  {
    std::lock_guard lock(mutex_);
    id = "p" + std::to_string(nextNumber_++);
    path = (folder_ / (id + ".tif")).string();
  }
  if (const std::error_code error = MakeFolder()) {
    if (diskFull) *diskFull = error == std::errc::no_space_on_device;
    return std::nullopt;
  }
  errno = 0;
  const bool written = folvane::WriteDibPage(packedDib, path);
  const int writeErrno = errno;
  if (!written) {
    // A bitmap that is not one we store fails for that reason, however full the disk.
    if (diskFull && folvane::DibView::Parse(packedDib))
      *diskFull = FailedForSpace(writeErrno, folder_, packedDib.size());
    return std::nullopt;
  }
  std::optional<PageInfo> info = ReadPageFileInfo(path);
  std::lock_guard lock(mutex_);
  if (!info) {  // capture checks its page with the same opener: not expected
    RemovePageFile(path);
    return std::nullopt;
  }
  info->id = id;
  pages_.push_back({*info, path});
  ++revision_;
  return info;
}

std::vector<PageInfo> Document::Pages() const {
  std::lock_guard lock(mutex_);
  std::vector<PageInfo> pages;
  pages.reserve(pages_.size());
  for (const Entry& e : pages_) pages.push_back(e.info);
  return pages;
}

std::size_t Document::PageCount() const {
  std::lock_guard lock(mutex_);
  return pages_.size();
}

bool Document::Remove(std::string_view id) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(pages_.begin(), pages_.end(), [&](const Entry& e) { return e.info.id == id; });
  if (it == pages_.end()) return false;
  const std::string path = it->path;
  pages_.erase(it);
  RemovePageFile(path);
  ++revision_;
  return true;
}

bool Document::Move(std::string_view id, std::size_t to) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(pages_.begin(), pages_.end(), [&](const Entry& e) { return e.info.id == id; });
  if (it == pages_.end() || to >= pages_.size()) return false;
  const auto target = pages_.begin() + static_cast<std::ptrdiff_t>(to);
  if (it < target) std::rotate(it, it + 1, target + 1);
  else if (target < it) std::rotate(target, it, it + 1);
  else return true;  // already there: nothing changed
  ++revision_;
  return true;
}

void Document::Clear() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> retry;
  retry.swap(leftovers_);
  for (const Entry& e : pages_) retry.push_back(e.path);
  pages_.clear();
  for (const std::string& path : retry) RemovePageFile(path);
  ++revision_;
}

void Document::RemovePageFile(const std::string& path) {
  std::error_code error;
  fs::remove(path, error);
  if (error) leftovers_.push_back(path);
}

std::vector<std::string> Document::PagePaths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> paths;
  paths.reserve(pages_.size());
  for (const Entry& e : pages_) paths.push_back(e.path);
  return paths;
}

std::optional<std::string> Document::PagePath(std::string_view id) const {
  std::lock_guard lock(mutex_);
  for (const Entry& e : pages_)
    if (e.info.id == id) return e.path;
  return std::nullopt;
}

std::uint64_t Document::Revision() const {
  std::lock_guard lock(mutex_);
  return revision_;
}

}  // namespace bidder::desk
