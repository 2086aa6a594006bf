#pragma once
#include <optional>
#include <string>

namespace bidder::cli {

// A file's bytes; nullopt when it cannot be read to its end (missing, a
// directory, an I/O error). Never throws but for memory.
std::optional<std::string> ReadWholeFile(const std::string& path);

}  // namespace bidder::cli
