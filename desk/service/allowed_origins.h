#pragma once
// The allow-list the service runs with: the list files, then the command
// line's origins. Every entry that is refused, and every list file that
// cannot be read, gets a log line, so that an administrator sees why a page
// is turned away.
#include <string>
#include <vector>

#include "desk/access/origin_list.h"
#include "desk/server/server.h"

namespace bidder::desk {

OriginList GatherOrigins(const std::vector<std::string>& listFiles, const std::vector<std::string>& commandLineOrigins,
                         const LogLine& log);

}  // namespace bidder::desk
