#pragma once
// The open sessions of every origin, so that a change to an origin's
// document reaches each of its pages (two tabs of one platform share it).
// Thread-safe: sessions come and go on the server's thread, scans announce
// pages from theirs.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "desk/server/backend.h"

namespace bidder::desk {

class SessionDirectory {
 public:
  // A number for the session, for Leave() and for telling sessions apart.
  std::uint64_t Join(std::string origin, std::shared_ptr<SessionChannel> channel);
  void Leave(std::uint64_t session);
  // `text` to every open session of `origin`.
  void Broadcast(std::string_view origin, const std::string& text);

 private:
  struct Entry {
    std::uint64_t session;
    std::string origin;
    std::shared_ptr<SessionChannel> channel;
  };
  std::mutex mutex_;
  std::uint64_t next_ = 1;
  std::vector<Entry> entries_;
};

}  // namespace bidder::desk
