#pragma once
// The page files of the document being scanned, named as pagefile/page_names.h
// has it; the pages of the document are exactly the numbers 0 to
// PageCount() - 1. Nothing else about a page is kept in memory.
//
// Portable: the Windows side hands over the bytes of the bitmap's global
// memory handle and the temporary directory.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace folvane {

class PageStore {
 public:
  explicit PageStore(std::string workPrefix);  // e.g. "C:\\Temp\\" or "/tmp/"

  const std::string& WorkPrefix() const { return workPrefix_; }
  std::uint32_t PageCount() const { return pageCount_; }
  std::string PageFileName(std::uint32_t number) const;
  // The names of pages 0 to count - 1, in order: what the outputs read.
  std::vector<std::string> PageFileNames() const;

  // One scanned page as a native transfer delivers it: a packed DIB
  // (BITMAPINFOHEADER, colour table, bits). Empty input: nothing written, count
  // unchanged. Otherwise the count advances before the write, so a page that
  // cannot be stored still holds its number (its file is then absent, never
  // a stale one); returns whether the page file was written. Never throws
  // (it runs inside a message hook): out of memory is a page not written.
  bool AddPage(std::span<const std::uint8_t> packedDib) noexcept;
  // A page that arrived without a bitmap that could be read: it uses up its
  // number like any page whose file could not be written.
  void AddUnreadablePage() noexcept;

  // Deletes the files 0 to count - 1 (a file that cannot be deleted is left
  // behind) and sets the count to 0.
  void DeletePages() noexcept;

 private:
  std::string workPrefix_;
  std::uint32_t pageCount_ = 0;
};

}  // namespace folvane
