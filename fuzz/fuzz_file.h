#pragma once
// What the fuzz targets share: the readers under test take files, so each
// input is written to a file in the target's own temporary directory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/temp_dir.h"

namespace bidder::fuzz {

// The directory lives as long as the process; one per fuzzing process.
inline const test::TempDir& WorkDir() {
  static const test::TempDir dir;
  return dir;
}

// `name` in the work directory, holding the input.
inline std::string InputFile(std::string_view name, const std::uint8_t* data, std::size_t size) {
  const std::string path = WorkDir() / name;
  test::WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
  return path;
}

}  // namespace bidder::fuzz
