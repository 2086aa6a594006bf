#pragma once
// An open C stream, closed when its owner goes.
#include <cstdio>
#include <memory>

namespace bidder {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace bidder
