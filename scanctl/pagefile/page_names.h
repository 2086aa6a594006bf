#pragma once
// The names of a document's page files: page n is "<work prefix><n>.tif",
// numbered from 0 in order of arrival (0.tif, 1.tif, ... 10.tif), the prefix
// being the temporary directory with its separator ("C:\\Temp\\", "/tmp/").
#include <cstdint>
#include <string>
#include <vector>

namespace folvane {

inline std::string PageFileName(const std::string& workPrefix, std::uint32_t number) {
  return workPrefix + std::to_string(number) + ".tif";
}

// Pages 0 to count - 1, in order.
inline std::vector<std::string> PageFileNames(const std::string& workPrefix, std::uint32_t count) {
  std::vector<std::string> names;
  names.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) names.push_back(PageFileName(workPrefix, i));
  return names;
}

}  // namespace folvane
