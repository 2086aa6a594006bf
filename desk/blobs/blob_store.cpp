#include "desk/blobs/blob_store.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "desk/blobs/sha256.h"
#include "random/random_hex.h"

namespace bidder::desk {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kIdBytes = 16;
constexpr std::string_view kUrlPrefix = "/v1/blobs/";

std::string UrlOf(std::string_view id) { return std::string(kUrlPrefix) + std::string(id); }

// An id as the store makes them: anything else names no blob, whatever the
// map holds, and never reaches the file system.
bool IsBlobId(std::string_view id) {
  if (id.size() != kIdBytes * 2) return false;
  for (char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// The type goes into a Content-Type header: nothing that could end a header line.
std::string SafeType(std::string type) {
  const bool plain = !type.empty() && type.size() <= 200 &&
                     std::all_of(type.begin(), type.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
  return plain ? type : "application/octet-stream";
}

void RemoveQuietly(const fs::path& path) {
  if (path.empty()) return;
  std::error_code ignored;
  fs::remove(path, ignored);
}

void RemoveAll(const std::vector<fs::path>& paths) {
  for (const fs::path& path : paths) RemoveQuietly(path);
}

struct SizeAndHash {
  std::uint64_t size = 0;
  std::string sha256;
};

SizeAndHash MeasureFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read an output file");
  Sha256 hash;
  SizeAndHash measured;
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    hash.Update(buffer.data(), got);
    measured.size += got;
  }
  if (in.bad()) throw std::runtime_error("cannot read an output file");
  measured.sha256 = hash.FinishHex();
  return measured;
}

bool SameOwner(const BlobOwner& a, const BlobOwner& b) {
  return a.origin == b.origin && a.sessionKey == b.sessionKey;
}

}  // namespace

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
  if (this != &other) {
    RemoveQuietly(path_);
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

PendingFile::~PendingFile() { RemoveQuietly(path_); }

BlobStore::BlobStore(fs::path folder, std::uint64_t maxBlobBytes, Clock clock)
    : folder_(std::move(folder)), maxBlobBytes_(maxBlobBytes), clock_(std::move(clock)) {
  fs::create_directories(folder_);
}

BlobStore::~BlobStore() {
  for (const auto& [id, blob] : blobs_) RemoveQuietly(blob.path);
}

std::chrono::steady_clock::time_point BlobStore::Now() const {
  return clock_ ? clock_() : std::chrono::steady_clock::now();
}

PendingFile BlobStore::NewPendingFile() { return PendingFile(folder_ / RandomHex(kIdBytes)); }

BlobRef BlobStore::AddOutput(const BlobOwner& owner, PendingFile file, std::string type,
                             std::function<void()> onDownloaded) {
  const SizeAndHash measured = MeasureFile(file.path());
  std::string id = RandomHex(kIdBytes);
  Blob blob{Stage::kOutput, owner, folder_ / id, measured.size, SafeType(std::move(type)), std::move(onDownloaded), {}};
  fs::rename(file.path(), blob.path);
  file.Release();
  BlobRef ref{UrlOf(id), blob.size, measured.sha256, blob.type};
  std::lock_guard lock(mutex_);
  blob.lastUsed = Now();
  blobs_.emplace(std::move(id), std::move(blob));
  return ref;
}

std::optional<PendingFile> BlobStore::TakeInput(const BlobOwner& owner, std::string_view url) {
  if (!url.starts_with(kUrlPrefix)) return std::nullopt;
  const std::string_view id = url.substr(kUrlPrefix.size());
  if (!IsBlobId(id)) return std::nullopt;
  std::lock_guard lock(mutex_);
  const auto found = blobs_.find(id);
  if (found == blobs_.end() || found->second.stage != Stage::kInput || !SameOwner(found->second.owner, owner)) {
    return std::nullopt;
  }
  PendingFile taken(std::move(found->second.path));
  blobs_.erase(found);
  return taken;
}

void BlobStore::EndSession(std::string_view sessionKey) {
  std::vector<fs::path> gone;
  {
    std::lock_guard lock(mutex_);
    std::erase_if(blobs_, [&](auto& entry) {
      if (entry.second.owner.sessionKey != sessionKey) return false;
      gone.push_back(std::move(entry.second.path));
      return true;
    });
  }
  RemoveAll(gone);
}

void BlobStore::Expire() {
  std::vector<fs::path> gone;
  {
    std::lock_guard lock(mutex_);
    const auto now = Now();
    // An upload under way is the transport's: it ends with its connection.
    std::erase_if(blobs_, [&](auto& entry) {
      if (entry.second.stage == Stage::kUploading || now - entry.second.lastUsed < kUnusedLifetime) return false;
      gone.push_back(std::move(entry.second.path));
      return true;
    });
  }
  RemoveAll(gone);
}

std::uint64_t BlobStore::ReservedBytesLocked() const {
  std::uint64_t reserved = 0;
  for (const auto& [id, blob] : blobs_) {
    if (blob.stage != Stage::kUploading) continue;
    std::error_code ec;
    const std::uintmax_t written = fs::file_size(blob.path, ec);
    if (ec) reserved += blob.size;  // not opened yet: all of it is still to come
    else if (written < blob.size) reserved += blob.size - written;
  }
  return reserved;
}

std::optional<BlobStore::Upload> BlobStore::BeginUpload(const BlobOwner& owner, std::uint64_t length,
                                                        rpc::Failure* failure) {
  const auto fail = [failure](rpc::ErrorReason reason) -> std::optional<Upload> {
    if (failure) *failure = rpc::FailureOf(reason);
    return std::nullopt;
  };
  if (length > maxBlobBytes_) return fail(rpc::ErrorReason::kTooLarge);
  std::error_code ec;
  const fs::space_info space = fs::space(folder_, ec);
  if (ec) return fail(rpc::ErrorReason::kInternal);
  std::lock_guard lock(mutex_);
  // Two uploads that each fit would not fit together.
  const std::uint64_t reserved = ReservedBytesLocked();
  if (space.available < reserved || space.available - reserved < length) return fail(rpc::ErrorReason::kDiskFull);
  std::string id = RandomHex(kIdBytes);
  Upload upload{id, folder_ / id};
  blobs_.emplace(std::move(id), Blob{Stage::kUploading, owner, upload.path, length, {}, {}, Now()});
  return upload;
}

std::optional<BlobRef> BlobStore::FinishUpload(const Upload& upload, bool complete) {
  std::unique_lock lock(mutex_);
  const auto found = blobs_.find(upload.id);
  const bool ours = found != blobs_.end() && found->second.stage == Stage::kUploading;
  std::error_code ec;
  const bool whole = ours && complete && fs::file_size(upload.path, ec) == found->second.size && !ec;
  if (!whole) {
    if (ours) blobs_.erase(found);
    lock.unlock();
    RemoveQuietly(upload.path);
    return std::nullopt;
  }
  found->second.stage = Stage::kInput;
  found->second.lastUsed = Now();
  return BlobRef{UrlOf(upload.id), found->second.size, {}, {}};
}

std::optional<BlobStore::Download> BlobStore::FindDownload(const BlobOwner& owner, std::string_view id) {
  if (!IsBlobId(id)) return std::nullopt;
  std::lock_guard lock(mutex_);
  const auto found = blobs_.find(id);
  if (found == blobs_.end() || found->second.stage != Stage::kOutput || !SameOwner(found->second.owner, owner)) {
    return std::nullopt;
  }
  found->second.lastUsed = Now();
  return Download{found->first, found->second.path, found->second.size, found->second.type};
}

void BlobStore::Downloaded(std::string_view id) {
  Blob done;
  {
    std::lock_guard lock(mutex_);
    const auto found = blobs_.find(id);
    if (found == blobs_.end() || found->second.stage != Stage::kOutput) return;
    done = std::move(found->second);
    blobs_.erase(found);
  }
  // The file stays while the callback runs, and goes however it ends.
  const PendingFile removedAfter(std::move(done.path));
  if (done.onDownloaded) done.onDownloaded();
}

}  // namespace bidder::desk
