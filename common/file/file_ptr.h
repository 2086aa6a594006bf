#pragma once
// An open C stream, closed when its owner goes.
#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

namespace bidder {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file named in UTF-8 with fopen's `mode` (ASCII). On Windows through
// the wide name, since the ANSI code page cannot name every user's folder.
// Empty on failure, with errno set.
inline FilePtr OpenFileUtf8(const std::string& path, const char* mode) {
#ifdef _WIN32
  std::filesystem::path name;
  try {
    name = std::filesystem::path(std::u8string(path.begin(), path.end()));
  } catch (const std::exception&) {
    errno = EINVAL;
    return nullptr;
  }
  std::wstring wideMode;
  for (const char* c = mode; *c; ++c) wideMode.push_back(static_cast<wchar_t>(*c));
  return FilePtr(_wfopen(name.c_str(), wideMode.c_str()));
#else
  return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

}  // namespace bidder
