#include "acquire/page_store.h"

#include <limits>
#include <new>

#include "acquire/dib_page_writer.h"
#include "pagefile/file_ops.h"
#include "pagefile/page_names.h"

namespace folvane {

PageStore::PageStore(std::string workPrefix) : workPrefix_(std::move(workPrefix)) {}

std::string PageStore::PageFileName(std::uint32_t number) const { return folvane::PageFileName(workPrefix_, number); }

std::vector<std::string> PageStore::PageFileNames() const { return folvane::PageFileNames(workPrefix_, pageCount_); }

bool PageStore::AddPage(std::span<const std::uint8_t> packedDib) noexcept {
  if (packedDib.empty()) return false;
  // A count that cannot grow cannot name another page.
  if (pageCount_ == std::numeric_limits<std::uint32_t>::max()) return false;
  ++pageCount_;
  try {
    return WriteDibPage(packedDib, PageFileName(pageCount_ - 1));
  } catch (const std::bad_alloc&) {  // not even the name: the number is used up, no file
    return false;
  }
}

void PageStore::AddUnreadablePage() noexcept {
  if (pageCount_ == std::numeric_limits<std::uint32_t>::max()) return;
  ++pageCount_;
  try {
    RemoveFileIfPresent(PageFileName(pageCount_ - 1));
  } catch (const std::bad_alloc&) {  // not even the name
  }
}

void PageStore::DeletePages() noexcept {
  for (std::uint32_t i = 0; i < pageCount_; ++i) {
    try {
      RemoveFileIfPresent(PageFileName(i));
    } catch (const std::bad_alloc&) {  // left behind, like a file that cannot be deleted
    }
  }
  pageCount_ = 0;
}

}  // namespace folvane
