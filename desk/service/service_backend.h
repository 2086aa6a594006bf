#pragma once
// What the service offers behind the server, for now: hello, the session's
// first notification, and a conversation that knows no methods yet. Scanners,
// documents, the token and the cipher join here.
#include <filesystem>

#include "desk/blobs/blob_store.h"
#include "desk/server/backend.h"
#include "desk/service/hello.h"

namespace bidder::desk {

class ServiceBackend final : public DeskBackend {
 public:
  // Blobs live in `workDir`/blobs, up to facts.blobBytes each.
  ServiceBackend(ServiceFacts facts, const std::filesystem::path& workDir)
      : facts_(std::move(facts)), blobs_(workDir / "blobs", facts_.blobBytes) {}

  std::string HelloJson() const override;
  std::string SessionReadyJson(const SessionContext& session) const override;
  std::unique_ptr<MessageHandler> OpenSession(const SessionContext& session,
                                              std::shared_ptr<SessionChannel> channel) override;
  BlobStore& Blobs() override { return blobs_; }

 private:
  ServiceFacts facts_;
  BlobStore blobs_;
};

}  // namespace bidder::desk
