#pragma once
// One scan at a time for the whole service: a scanner serves one page, and
// every other page hears `busy` until it is done. The scan runs on a thread
// of its own, since it lasts as long as the feeder holds paper; the session
// that started it may cancel it, and does when it closes (a page closed or
// reloaded mid-scan), and the pages that arrived stay in the document.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "desk/scan/scanner.h"

namespace bidder::desk {

class ScanCoordinator {
 public:
  explicit ScanCoordinator(ScannerBackend& scanners);
  ~ScanCoordinator();  // cancels a running scan and waits for it
  ScanCoordinator(const ScanCoordinator&) = delete;
  ScanCoordinator& operator=(const ScanCoordinator&) = delete;

  using Done = std::function<void(const ScanOutcome&)>;
  // false, and nothing started, while any scan runs. `sink` and `done` are
  // called on the scan's thread; `done` last, after which the next scan may start.
  bool Start(std::uint64_t session, std::string origin, ScanSettings settings, std::shared_ptr<ScanSink> sink,
             Done done);
  // Ends the scan if `session` started it; false otherwise.
  bool CancelFor(std::uint64_t session);

  bool Scanning() const;
  bool ScanningFor(std::uint64_t session) const;
  bool ScanningOrigin(const std::string& origin) const;

 private:
  ScannerBackend& scanners_;
  mutable std::mutex mutex_;
  bool running_ = false;
  bool cancelled_ = false;
  std::uint64_t session_ = 0;
  std::string origin_;
  std::thread thread_;  // the last scan's, joined before the next starts
};

}  // namespace bidder::desk
