#pragma once
// The few file-system steps that page files need, on narrow paths in the
// platform's file-name encoding (the ANSI code page on Windows).
#include <string>

namespace folvane {

// Removes the file (never a directory); true when no file of that name
// exists afterwards.
bool RemoveFileIfPresent(const std::string& path);

// True when nothing (no file, no directory) has that name.
bool NameIsFree(const std::string& path);

// Moves `from` onto `to`, replacing a file already there.
bool MoveFileOver(const std::string& from, const std::string& to);

}  // namespace folvane
