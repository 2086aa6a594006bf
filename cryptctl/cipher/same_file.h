#pragma once
#include <cstdio>
#include <string>

namespace lockvale {

// True when `path` names the file that `open` has open, through any spelling
// of the path or any hard link. False when `path` doesn't exist.
bool NamesOpenFile(std::FILE* open, const std::string& path);

// True when `open` is a directory (some systems let fopen open one for
// reading; its "contents" are no file to encrypt).
bool IsOpenDirectory(std::FILE* open);

}  // namespace lockvale
