#pragma once
// Where the stand-in meets its host: the token image it serves and the call
// log it appends to, both named by environment variables read on every call
// (so a test can plug a token in and out while the process runs).
#include <optional>
#include <string>

namespace ftnd {

// The bytes of the file named by FT_ND_API_TOKEN; nullopt when the variable
// is unset or empty, the file cannot be read, or it is larger than `limit`.
std::optional<std::string> ReadTokenImageFile(std::size_t limit);

// Appends one line (and a newline) to the file named by FT_ND_API_LOG, if set.
void AppendToCallLog(const std::string& line);

}  // namespace ftnd
