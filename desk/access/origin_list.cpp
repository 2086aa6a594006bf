#include "desk/access/origin_list.h"

#include <algorithm>

#include "desk/access/ascii_text.h"

namespace bidder::desk {

void OriginList::Add(std::string origin) {
  if (std::find(origins_.begin(), origins_.end(), origin) == origins_.end()) origins_.push_back(std::move(origin));
}

bool OriginList::AddValue(std::string_view value, std::vector<RefusedOrigin>& refused) {
  NormalizedOrigin normalized = NormalizeOrigin(value);
  if (!normalized.origin) {
    refused.push_back({"--allow-origin", 0, std::string(TrimBlanks(value)), std::move(normalized.refusal)});
    return false;
  }
  Add(std::move(*normalized.origin));
  return true;
}

void OriginList::AddText(std::string_view text, std::string_view source, std::vector<RefusedOrigin>& refused) {
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = TrimBlanks(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;
    NormalizedOrigin normalized = NormalizeOrigin(line);
    if (normalized.origin) {
      Add(std::move(*normalized.origin));
    } else {
      refused.push_back({std::string(source), lineNumber, std::string(line), std::move(normalized.refusal)});
    }
  }
}

TextFileStatus OriginList::AddFile(const std::string& path, std::vector<RefusedOrigin>& refused) {
  const TextFile file = ReadTextFile(path, kMaxOriginFileBytes);
  if (file.status == TextFileStatus::kRead) AddText(file.text, path, refused);
  return file.status;
}

bool OriginList::Allows(std::string_view originHeader) const {
  const NormalizedOrigin normalized = NormalizeOrigin(originHeader);
  return normalized.origin &&
         std::find(origins_.begin(), origins_.end(), *normalized.origin) != origins_.end();
}

}  // namespace bidder::desk
