#include "page_store.h"

#include <cstdio>

namespace folvane {

PageStore::PageStore(std::string workPrefix) : prefix_(std::move(workPrefix)) {}

std::string PageStore::PageFileName(std::uint32_t number) const {
  return prefix_ + std::to_string(number) + ".tif";
}

bool PageStore::AddPage(std::span<const std::uint8_t> packedDib) {
  if (packedDib.empty()) return false;
  const std::string name = PageFileName(count_++);
  std::FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(packedDib.data(), 1, packedDib.size(), f) == packedDib.size();
  return std::fclose(f) == 0 && ok;
}

void PageStore::DeletePages() {
  for (std::uint32_t i = 0; i < count_; ++i) std::remove(PageFileName(i).c_str());
  count_ = 0;
}

}  // namespace folvane
