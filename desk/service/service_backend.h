#pragma once
// What the service offers behind the server, for now: hello, the session's
// first notification, and a conversation that knows no methods yet. Scanners,
// documents, the token and the cipher join here.
#include "desk/server/backend.h"
#include "desk/service/hello.h"

namespace bidder::desk {

class ServiceBackend final : public DeskBackend {
 public:
  explicit ServiceBackend(ServiceFacts facts) : facts_(std::move(facts)) {}

  std::string HelloJson() const override;
  std::string SessionReadyJson(const SessionContext& session) const override;
  std::unique_ptr<MessageHandler> OpenSession(const SessionContext& session,
                                              std::shared_ptr<SessionChannel> channel) override;

 private:
  ServiceFacts facts_;
};

}  // namespace bidder::desk
