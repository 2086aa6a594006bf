#pragma once
// The conversation with one page: each request goes to its method
// (methods.h); answers come back at once or, for slow work, later through
// the session's channel. The page's scan is cancelled when the page goes
// (closed, reloaded, dropped), and the pages that arrived stay.
#include <memory>
#include <string>
#include <string_view>

#include "desk/methods/call.h"
#include "desk/methods/desk_services.h"
#include "desk/server/backend.h"

namespace bidder::desk {

class PageConversation final : public MessageHandler {
 public:
  PageConversation(DeskServices& services, const SessionContext& context, std::shared_ptr<SessionChannel> channel);
  ~PageConversation() override;
  std::string OnMessage(std::string_view text) override;

 private:
  DeskServices& services_;
  std::shared_ptr<const PageSession> session_;
};

}  // namespace bidder::desk
