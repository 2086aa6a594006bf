#include "acquire/page_store.h"

#include <limits>

#include "acquire/dib_page_writer.h"
#include "acquire/file_ops.h"

namespace folvane {

PageStore::PageStore(std::string workPrefix) : workPrefix_(std::move(workPrefix)) {}

std::string PageStore::PageFileName(std::uint32_t number) const {
  return workPrefix_ + std::to_string(number) + ".tif";
}

bool PageStore::AddPage(std::span<const std::uint8_t> packedDib) {
  if (packedDib.empty()) return false;
  // A count that cannot grow cannot name another page.
  if (pageCount_ == std::numeric_limits<std::uint32_t>::max()) return false;
  const std::string name = PageFileName(pageCount_);
  ++pageCount_;
  return WriteDibPage(packedDib, name);
}

void PageStore::AddUnreadablePage() {
  if (pageCount_ == std::numeric_limits<std::uint32_t>::max()) return;
  RemoveFileIfPresent(PageFileName(pageCount_));
  ++pageCount_;
}

void PageStore::DeletePages() {
  for (std::uint32_t i = 0; i < pageCount_; ++i) RemoveFileIfPresent(PageFileName(i));
  pageCount_ = 0;
}

}  // namespace folvane
