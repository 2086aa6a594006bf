#pragma once
#include <cstdio>
#include <string>

namespace lockvale {

// True when `path` names the file that `open` has open, through any spelling
// of the path or any hard link. False when `path` doesn't exist.
bool NamesOpenFile(std::FILE* open, const std::string& path);

}  // namespace lockvale
