#include "desk/methods/scan_coordinator.h"

namespace bidder::desk {

ScanCoordinator::ScanCoordinator(ScannerBackend& scanners) : scanners_(scanners) {}

ScanCoordinator::~ScanCoordinator() {
  std::thread last;
  {
    std::lock_guard lock(mutex_);
    if (running_) {
      cancelled_ = true;
      scanners_.Cancel();
    }
    last = std::move(thread_);
  }
  if (last.joinable()) last.join();
}

bool ScanCoordinator::Start(std::uint64_t session, std::string origin, ScanSettings settings,
                            std::shared_ptr<ScanSink> sink, Done done) {
  std::thread previous;
  {
    std::lock_guard lock(mutex_);
    if (running_) return false;
    running_ = true;
    cancelled_ = false;
    session_ = session;
    origin_ = std::move(origin);
    previous = std::move(thread_);
  }
  // The previous scan has called its `done` and is about to return.
  if (previous.joinable()) previous.join();

  auto run = [this, settings = std::move(settings), sink = std::move(sink), done = std::move(done)] {
    ScanOutcome outcome;
    bool cancelledEarly = false;
    {
      std::lock_guard lock(mutex_);
      cancelledEarly = cancelled_;
    }
    if (cancelledEarly) {
      outcome.failure = rpc::ErrorReason::kCancelled;
    } else {
      try {
        outcome = scanners_.Scan(settings, *sink);
      } catch (const std::exception&) {
        outcome.failure = rpc::ErrorReason::kScanner;
      }
    }
    {
      std::lock_guard lock(mutex_);
      // A cancel that came while the scanner was finishing still counts as one
      // for the page that asked for it only if the scan ended early; a scan
      // that ended on its own ended on its own.
      running_ = false;
      session_ = 0;
      origin_.clear();
    }
    if (done) done(outcome);
  };
  std::lock_guard lock(mutex_);
  try {
    thread_ = std::thread(std::move(run));
  } catch (const std::system_error&) {
    running_ = false;
    session_ = 0;
    origin_.clear();
    return false;
  }
  return true;
}

bool ScanCoordinator::CancelFor(std::uint64_t session) {
  std::lock_guard lock(mutex_);
  if (!running_ || session_ != session) return false;
  cancelled_ = true;
  scanners_.Cancel();
  return true;
}

bool ScanCoordinator::Scanning() const {
  std::lock_guard lock(mutex_);
  return running_;
}

bool ScanCoordinator::ScanningFor(std::uint64_t session) const {
  std::lock_guard lock(mutex_);
  return running_ && session_ == session;
}

bool ScanCoordinator::ScanningOrigin(const std::string& origin) const {
  std::lock_guard lock(mutex_);
  return running_ && origin_ == origin;
}

}  // namespace bidder::desk
