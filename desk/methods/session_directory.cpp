#include "desk/methods/session_directory.h"

#include <algorithm>

namespace bidder::desk {

std::uint64_t SessionDirectory::Join(std::string origin, std::shared_ptr<SessionChannel> channel) {
  std::lock_guard lock(mutex_);
  const std::uint64_t session = next_++;
  entries_.push_back({session, std::move(origin), std::move(channel)});
  return session;
}

void SessionDirectory::Leave(std::uint64_t session) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [session](const Entry& entry) { return entry.session == session; });
}

void SessionDirectory::Broadcast(std::string_view origin, const std::string& text) {
  std::vector<std::shared_ptr<SessionChannel>> receivers;
  {
    std::lock_guard lock(mutex_);
    for (const Entry& entry : entries_) {
      if (entry.origin == origin) receivers.push_back(entry.channel);
    }
  }
  // Outside the lock: a channel only queues, but it is not ours to hold it up.
  for (const auto& channel : receivers) channel->Send(text);
}

}  // namespace bidder::desk
