#include "desk/service/service_backend.h"

#include "desk/service/conversation.h"

namespace bidder::desk {
namespace {

class Conversation final : public MessageHandler {
 public:
  std::string OnMessage(std::string_view text) override { return AnswerMessage(text); }
};

}  // namespace

std::string ServiceBackend::HelloJson() const { return desk::HelloJson(facts_); }

std::string ServiceBackend::SessionReadyJson(const SessionContext& session) const {
  return desk::SessionReadyJson(session.sessionKey, facts_.instance);
}

std::unique_ptr<MessageHandler> ServiceBackend::OpenSession(const SessionContext& /*session*/,
                                                            std::shared_ptr<SessionChannel> /*channel*/) {
  return std::make_unique<Conversation>();
}

}  // namespace bidder::desk
