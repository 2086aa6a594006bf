#pragma once
// Stand-in for the page store while it is being built on its own branch: the
// agreed interface, writing the DIB bytes as they come. Removed on merge.
#include <cstdint>
#include <span>
#include <string>

namespace folvane {

class PageStore {
 public:
  explicit PageStore(std::string workPrefix);
  const std::string& WorkPrefix() const { return prefix_; }
  std::uint32_t PageCount() const { return count_; }
  std::string PageFileName(std::uint32_t number) const;
  bool AddPage(std::span<const std::uint8_t> packedDib);
  void DeletePages();

 private:
  std::string prefix_;
  std::uint32_t count_ = 0;
};

}  // namespace folvane
