#pragma once
// Files that travel between a page and the service, outside JSON: the
// service's outputs (a PDF, a PNG, a sealed file) for the page to GET, and
// the page's inputs, which it POSTs before naming them in a request. A blob
// lives in the store's folder in the work directory and belongs to the
// session (and origin) that made it; it ends with that session, when used
// (a download completed, an input taken), or after ten minutes unused.
// Ids are 128 random bits. Thread-safe: methods run on worker threads, the
// transport on the server's.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "desk/rpc/errors.h"

namespace bidder::desk {

struct BlobOwner {
  std::string origin;
  std::string sessionKey;
};

// What a result names: {"blob":url,"size":N,"sha256":"…","type":"…"}.
struct BlobRef {
  std::string url;  // "/v1/blobs/<id>"
  std::uint64_t size = 0;
  std::string sha256;  // lower-case hex; empty for uploads
  std::string type;    // "application/pdf", …; empty for uploads
};

// A path in the store's folder for the service to write an output into,
// removed unless handed to AddOutput.
class PendingFile {
 public:
  PendingFile() = default;
  explicit PendingFile(std::filesystem::path path) : path_(std::move(path)) {}
  PendingFile(PendingFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  PendingFile& operator=(PendingFile&& other) noexcept;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path Release() { return std::exchange(path_, {}); }

 private:
  std::filesystem::path path_;
};

class BlobStore {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::chrono::minutes kUnusedLifetime{10};

  // Creates `folder` when missing (throws std::filesystem::filesystem_error
  // when it cannot). Without a clock, the steady clock.
  BlobStore(std::filesystem::path folder, std::uint64_t maxBlobBytes, Clock clock = {});
  // The files of the blobs still held go with the store.
  ~BlobStore();
  BlobStore(const BlobStore&) = delete;
  BlobStore& operator=(const BlobStore&) = delete;

  const std::filesystem::path& Folder() const { return folder_; }

  // A fresh file name for an output about to be written.
  PendingFile NewPendingFile();
  // The written file becomes a blob of `owner`; its size and SHA-256 are
  // taken here. `onDownloaded` runs once, on the server's thread, after a
  // GET has sent the whole blob (before the blob is removed). A type that is
  // not plain printable ASCII becomes "application/octet-stream". Throws
  // std::runtime_error when the file cannot be read (it is removed then).
  BlobRef AddOutput(const BlobOwner& owner, PendingFile file, std::string type,
                    std::function<void()> onDownloaded = {});

  // An input named in a request ("/v1/blobs/<id>" as the upload's answer
  // gave it): taken out of the store, so that the caller owns the file;
  // nullopt (reason not-found) when it is not this owner's complete upload.
  std::optional<PendingFile> TakeInput(const BlobOwner& owner, std::string_view url);

  // Every blob of a session goes when the session ends.
  void EndSession(std::string_view sessionKey);
  // Removes blobs unused for ten minutes; the server calls it now and then.
  void Expire();

  // --- for the transport (desk_server.cpp) ---
  // POST /v1/blobs with Content-Length `length`: where to write the body, or
  // the failure (too-large beyond the limit, disk-full when the file system
  // has no room).
  struct Upload {
    std::string id;
    std::filesystem::path path;
  };
  std::optional<Upload> BeginUpload(const BlobOwner& owner, std::uint64_t length, rpc::Failure* failure);
  // The body arrived whole (true) or not (false: the file goes). Nullopt
  // when the upload is no longer there (its session ended meanwhile) or the
  // file does not hold the declared length; the file is gone then too.
  std::optional<BlobRef> FinishUpload(const Upload& upload, bool complete);
  // GET /v1/blobs/<id>: the file to send when `owner` owns the blob.
  struct Download {
    std::string id;
    std::filesystem::path path;
    std::uint64_t size = 0;
    std::string type;
  };
  std::optional<Download> FindDownload(const BlobOwner& owner, std::string_view id);
  // After the last byte was sent: the blob is used and goes. An exception
  // from its onDownloaded comes through, after the file is removed.
  void Downloaded(std::string_view id);

 private:
  enum class Stage { kUploading, kInput, kOutput };
  struct Blob {
    Stage stage = Stage::kUploading;
    BlobOwner owner;
    std::filesystem::path path;
    std::uint64_t size = 0;  // the declared length while uploading
    std::string type;
    std::function<void()> onDownloaded;
    std::chrono::steady_clock::time_point lastUsed;
  };

  std::chrono::steady_clock::time_point Now() const;
  // Bytes the uploads under way have declared and not yet written.
  std::uint64_t ReservedBytesLocked() const;

  std::filesystem::path folder_;
  std::uint64_t maxBlobBytes_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Blob, std::less<>> blobs_;  // by id
};

}  // namespace bidder::desk
