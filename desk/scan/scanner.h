#pragma once
// The service's view of scanners: list them, scan with a few settings, stop.
// SANE serves it on Linux (sane_scanner.cpp); the scanning control's TWAIN
// session will on Windows. Pages leave as packed DIBs, the form a TWAIN
// native transfer has, so that both store them through the same code.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "desk/rpc/errors.h"

namespace bidder::desk {

struct ScannerEntry {
  std::string id;    // stable for the life of the service
  std::string name;  // for people: vendor and model
  bool isDefault = false;
};

enum class ScanMode { kColor, kGray, kBlackWhite };
enum class ScanSource { kFlatbed, kFeeder };

struct ScanSettings {
  std::optional<std::string> scanner;  // an id from List(); absent: the default
  std::optional<int> resolution;       // dpi; absent: the device's own; else the nearest it offers
  ScanMode mode = ScanMode::kColor;
  std::optional<ScanSource> source;    // absent: the device's own
  bool showUI = false;                 // TWAIN only
};

// Where the scanner's state goes as it is known ("feeder-empty", "jam",
// "cover-open", ...), and each page as it arrives. Called on the scanning
// thread.
class ScanSink {
 public:
  virtual ~ScanSink() = default;
  // One page, a packed DIB (BITMAPINFOHEADER, colour table, bits; its
  // resolution in biXPelsPerMeter). false: the page could not be kept (the
  // disk is full): the scan ends.
  virtual bool OnPage(std::span<const std::uint8_t> packedDib) = 0;
  virtual void OnStatus(std::string_view status) = 0;
};

struct ScanOutcome {
  std::uint32_t pages = 0;  // delivered to the sink
  // How it ended: nullopt when it ended as scans end (the flatbed's page,
  // the feeder empty after at least one page); else kCancelled, kNoScanner,
  // kScanner (a fault: jam, cover open, I/O error, device busy, no paper in
  // the feeder), kDiskFull. The pages delivered stay either way.
  std::optional<rpc::ErrorReason> failure;
  std::string message;  // UTF-8, the text for the user with a failure; empty: the table's
};

class ScannerBackend {
 public:
  virtual ~ScannerBackend() = default;
  virtual std::vector<ScannerEntry> List() = 0;
  // Scans on the caller's thread until the scan ends. One scan at a time.
  virtual ScanOutcome Scan(const ScanSettings& settings, ScanSink& sink) = 0;
  // From any thread: the running scan ends after (or within) the page it is
  // on, with kCancelled; the pages delivered stay.
  virtual void Cancel() = 0;
};

// SANE (Linux); never null. Errors in sane_init show as no scanners.
std::unique_ptr<ScannerBackend> OpenSaneScanners();

// Windows, until the scanning control's TWAIN session serves the service:
// no scanners, and every scan ends with kNoScanner. Never null.
std::unique_ptr<ScannerBackend> OpenWindowsScanners();

}  // namespace bidder::desk
