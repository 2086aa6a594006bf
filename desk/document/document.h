#pragma once
// One origin's document: the pages scanned and not yet bound, each a page
// file in the document's own folder inside the service's work directory, in
// the order the page shows them. Pages have stable ids, unique for the life
// of the document, so that a page that reloads finds them again. Only the
// order, the ids and a few numbers per page are kept in memory.
//
// Thread-safe: a scan adds pages on its own thread while pages list, move
// and remove them on the server's.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace bidder::desk {

enum class PageMode { kColor, kGray, kBlackWhite };
std::string_view PageModeName(PageMode mode);  // "color", "gray", "bw"

struct PageInfo {
  std::string id;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t resolution = 0;  // dpi
  PageMode mode = PageMode::kColor;
  std::uint64_t bytes = 0;       // the page file's size
};

class Document {
 public:
  // `folder` is created (mode 0700) if absent; the document owns it and
  // removes it with its files when destroyed.
  explicit Document(std::filesystem::path folder);
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Stores one scanned page (a packed DIB: BITMAPINFOHEADER, colour table,
  // bits) as a page file, the same bytes as the scanning control and
  // `folvane page` write for that bitmap, at the end of the document.
  // nullopt when it cannot be stored (`diskFull` tells why).
  std::optional<PageInfo> AddDibPage(std::span<const std::uint8_t> packedDib, bool* diskFull = nullptr);

  std::vector<PageInfo> Pages() const;
  std::size_t PageCount() const;
  // false: no page has that id.
  bool Remove(std::string_view id);
  // Moves the page to position `to` of the new order; false: no such page or
  // `to` beyond the last position.
  bool Move(std::string_view id, std::size_t to);
  void Clear();
  // The page files in document order, and one page's file.
  std::vector<std::string> PagePaths() const;
  std::optional<std::string> PagePath(std::string_view id) const;
  // Bumped by every change; a bound PDF ends the document only if nothing
  // changed since it was bound.
  std::uint64_t Revision() const;

 private:
  struct Entry {
    PageInfo info;
    std::string path;
  };
  std::error_code MakeFolder() const;
  void RemovePageFile(const std::string& path);  // with mutex_ held

  mutable std::mutex mutex_;
  const std::filesystem::path folder_;
  std::vector<Entry> pages_;
  // Page files that could not be removed when their page went (a reader
  // still had them open, on systems that refuse that); tried again by
  // Clear(), and gone with the folder at the latest.
  std::vector<std::string> leftovers_;
  std::uint64_t nextNumber_ = 1;
  std::uint64_t revision_ = 0;
};

// Every origin's document, each in a numbered folder under `root` (an
// origin is never part of a path). Thread-safe.
class DocumentRegistry {
 public:
  explicit DocumentRegistry(std::filesystem::path root);
  // The origin's document, made on first use.
  std::shared_ptr<Document> For(std::string_view origin);
  // Ends the origin's document (its files go); a later For() starts afresh.
  void End(std::string_view origin);

 private:
  std::mutex mutex_;
  std::filesystem::path root_;
  std::uint64_t nextFolder_ = 1;
  std::vector<std::pair<std::string, std::shared_ptr<Document>>> documents_;
};

}  // namespace bidder::desk
