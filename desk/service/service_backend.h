#pragma once
// What the service offers behind the server: hello, the session's first
// notification, and each page's conversation over the service's shared
// parts (documents, blobs, scanners, token), which live here and go when
// the service stops.
#include <filesystem>
#include <memory>

#include "desk/methods/desk_services.h"
#include "desk/server/backend.h"
#include "desk/service/hello.h"

namespace bidder::desk {

class ServiceBackend final : public DeskBackend {
 public:
  // `workDir` is the service's own, emptied (see work_dir.h); documents and
  // blobs get a folder each in it.
  ServiceBackend(ServiceFacts facts, const std::filesystem::path& workDir, std::unique_ptr<ScannerBackend> scanners);
  ~ServiceBackend() override;

  std::string HelloJson() const override;
  std::string SessionReadyJson(const SessionContext& session) const override;
  std::unique_ptr<MessageHandler> OpenSession(const SessionContext& session,
                                              std::shared_ptr<SessionChannel> channel) override;
  BlobStore& Blobs() override { return blobs_; }

 private:
  ServiceFacts facts_;
  // Declared in the order they may be destroyed last to first: the threads
  // that use everything go first.
  SessionDirectory sessions_;
  DocumentRegistry documents_;
  BlobStore blobs_;
  TokenService token_;
  std::unique_ptr<ScannerBackend> scanners_;
  ScanCoordinator scans_;
  TaskRunner tasks_;
  DeskServices services_;
};

}  // namespace bidder::desk
