#include "acquire/page_store.h"

#include <limits>
#include <new>

#include "acquire/dib_page_writer.h"
#include "acquire/file_ops.h"

namespace folvane {

PageStore::PageStore(std::string workPrefix) : workPrefix_(std::move(workPrefix)) {}

std::string PageStore::PageFileName(std::uint32_t number) const {
  return workPrefix_ + std::to_string(number) + ".tif";
}

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

void PageStore::DeletePages() {
  for (std::uint32_t i = 0; i < pageCount_; ++i) RemoveFileIfPresent(PageFileName(i));
  pageCount_ = 0;
}

}  // namespace folvane
