#pragma once
// The origins whose pages may use the service: exact origins, gathered from
// the system's list, the user's list and the command line. An empty list
// allows nothing. Entries that are refused are reported and left out: a
// refused line can only make the list shorter, never let anyone in.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "desk/access/origin.h"
#include "desk/access/text_file.h"

namespace bidder::desk {

// One line or value the list would not take, for the service's log.
struct RefusedOrigin {
  std::string source;  // a file's path or "--allow-origin"
  std::size_t line = 0;  // 1-based in the file; 0 for a command-line value
  std::string text;    // the entry as written, blanks trimmed
  std::string reason;
};

inline constexpr std::size_t kMaxOriginFileBytes = 1 << 20;

class OriginList {
 public:
  // A --allow-origin value. False (and `refused` filled) when refused.
  bool AddValue(std::string_view value, std::vector<RefusedOrigin>& refused);

  // A list file's text: one origin a line, blank lines and lines starting
  // with "#" ignored, blanks around an entry trimmed, LF or CRLF. `source`
  // names the file in refusals.
  void AddText(std::string_view text, std::string_view source, std::vector<RefusedOrigin>& refused);

  // The file at `path` (the caller's: the system and the user's file differ
  // by platform). A missing file adds nothing and is no error; a file that
  // cannot be read, or is over kMaxOriginFileBytes, adds nothing either.
  TextFileStatus AddFile(const std::string& path, std::vector<RefusedOrigin>& refused);

  // Whether a request's Origin header value names an allowed origin, after
  // the same normalisation; a value that is no valid origin never is.
  bool Allows(std::string_view originHeader) const;

  // The allowed origins, normalised, each once, in the order first added.
  const std::vector<std::string>& Origins() const { return origins_; }

 private:
  void Add(std::string origin);
  std::vector<std::string> origins_;
};

}  // namespace bidder::desk
