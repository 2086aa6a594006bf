#pragma once
// Everything the methods of a page's conversation work with, shared by all
// sessions: the origins' documents, the blobs, the scanners, the token, the
// open sessions and the threads for slow work. Owned by the service's
// backend; every part outlives every conversation.
#include "desk/blobs/blob_store.h"
#include "desk/document/document.h"
#include "desk/methods/scan_coordinator.h"
#include "desk/methods/session_directory.h"
#include "desk/methods/task_runner.h"
#include "desk/scan/scanner.h"
#include "desk/token/token_service.h"

namespace bidder::desk {

struct DeskServices {
  DocumentRegistry& documents;
  BlobStore& blobs;
  ScannerBackend& scanners;
  ScanCoordinator& scans;
  TokenService& token;
  SessionDirectory& sessions;
  TaskRunner& tasks;
};

}  // namespace bidder::desk
