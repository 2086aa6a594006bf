#include <unistd.h>

#include "desk/access/peer_owner_proc.h"
#include "desk/service/same_user.h"

namespace bidder::desk {

PeerCheck SameUserCheck(bool trustUnknownOwner) {
  return [trustUnknownOwner](std::intptr_t nativeSocket) {
    return JudgePeerOwner(FindPeerOwnerOfSocket(static_cast<int>(nativeSocket)), ::getuid(), trustUnknownOwner);
  };
}

}  // namespace bidder::desk
