#pragma once
// The few file-system steps that page files need, on narrow paths in the
// platform's file-name encoding (the ANSI code page on Windows).
#include <cstdint>
#include <cstdio>
#include <string>

#include "file/file_ptr.h"

namespace folvane {

using bidder::FilePtr;

// Removes the file (never a directory); true when no file of that name
// exists afterwards.
bool RemoveFileIfPresent(const std::string& path);

// True when nothing (no file, no directory) has that name.
bool NameIsFree(const std::string& path);

// Moves `from` onto `to`, replacing a file already there.
bool MoveFileOver(const std::string& from, const std::string& to);

// fseek and ftell with 64-bit offsets on every platform (page files and
// documents may pass 2 GiB, where long is 32 bits). TellFile is -1 on failure.
bool SeekFile(std::FILE* file, std::int64_t offset, int whence);
std::int64_t TellFile(std::FILE* file);

}  // namespace folvane
