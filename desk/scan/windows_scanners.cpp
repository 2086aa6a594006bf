#include "desk/scan/scanner.h"

namespace bidder::desk {
namespace {

class NoScanners final : public ScannerBackend {
 public:
  std::vector<ScannerEntry> List() override { return {}; }
  ScanOutcome Scan(const ScanSettings&, ScanSink&) override {
    ScanOutcome outcome;
    outcome.failure = rpc::ErrorReason::kNoScanner;
    return outcome;
  }
  void Cancel() override {}
};

}  // namespace

std::unique_ptr<ScannerBackend> OpenWindowsScanners() { return std::make_unique<NoScanners>(); }

}  // namespace bidder::desk
