#pragma once
// What the page shows of a page: read back from the page file itself, through
// the outputs' own opener, so that a page is listed exactly as it will be
// bound (and one the outputs would refuse is never listed).
#include <optional>
#include <string>

#include "desk/document/document.h"

namespace bidder::desk {

// nullopt when the outputs cannot open the file. `id` is left empty.
std::optional<PageInfo> ReadPageFileInfo(const std::string& path);

}  // namespace bidder::desk
