#include "desk/service/service_backend.h"

#include "desk/methods/page_conversation.h"

namespace bidder::desk {

namespace {
// A bind and a seal at once, each with a thread; the scan has its own.
constexpr unsigned kWorkerThreads = 2;
}  // namespace

ServiceBackend::ServiceBackend(ServiceFacts facts, const std::filesystem::path& workDir,
                               std::unique_ptr<ScannerBackend> scanners)
    : facts_(std::move(facts)),
      documents_(workDir / "documents"),
      blobs_(workDir / "blobs", facts_.blobBytes),
      scanners_(std::move(scanners)),
      scans_(*scanners_),
      tasks_(kWorkerThreads),
      services_{documents_, blobs_, *scanners_, scans_, token_, sessions_, tasks_} {
  facts_.token = token_.LibraryLoaded();
}

ServiceBackend::~ServiceBackend() = default;

std::string ServiceBackend::HelloJson() const { return desk::HelloJson(facts_); }

std::string ServiceBackend::SessionReadyJson(const SessionContext& session) const {
  return desk::SessionReadyJson(session.sessionKey, facts_.instance);
}

std::unique_ptr<MessageHandler> ServiceBackend::OpenSession(const SessionContext& session,
                                                            std::shared_ptr<SessionChannel> channel) {
  return std::make_unique<PageConversation>(services_, session, std::move(channel));
}

}  // namespace bidder::desk
