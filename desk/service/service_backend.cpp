#include "desk/service/service_backend.h"

#include "desk/service/unknown_method.h"

namespace bidder::desk {
namespace {

class UnknownMethods final : public MessageHandler {
 public:
  std::string OnMessage(std::string_view text) override { return AnswerUnknownMethod(text); }
};

}  // namespace

std::string ServiceBackend::HelloJson() const { return desk::HelloJson(facts_); }

std::string ServiceBackend::SessionReadyJson(const SessionContext& session) const {
  return desk::SessionReadyJson(session.sessionKey, facts_.instance);
}

std::unique_ptr<MessageHandler> ServiceBackend::OpenSession(const SessionContext& /*session*/,
                                                            std::shared_ptr<SessionChannel> /*channel*/) {
  return std::make_unique<UnknownMethods>();
}

}  // namespace bidder::desk
