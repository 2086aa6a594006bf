#pragma once
// The pages of one scan, from an open device whose options are set: start,
// read each frame, hand each page to the sink, and end as the device says.
// A fault ends the scan with the pages delivered so far kept, with the
// user's text for that fault and the scanner's state for the page.
#include <atomic>

#include "desk/scan/scan_device.h"
#include "desk/scan/scanner.h"

namespace bidder::desk {

struct ScanPlan {
  bool feeder = false;           // pages until the feeder is empty; else one page
  double dpi = 0;                // written into each page; 0: unknown
  bool bilevelFromGrey = false;  // black and white made here from grey
};

// Runs on the caller's thread. `cancelRequested` is checked between pages
// and frames, and decides how a read that fails ends; within a page the
// device's own cancel (ScanDevice::Cancel from another thread) ends the
// read. A page cut short by a cancel is not delivered. Leaves the device
// started or not: the caller cancels it before closing.
ScanOutcome RunScanLoop(ScanDevice& device, const ScanPlan& plan, ScanSink& sink,
                        const std::atomic<bool>& cancelRequested);

// The outcome for a device status that ends a scan (anything but kGood and
// kEof), telling the sink the scanner's state where it has one.
ScanOutcome FaultOutcome(DeviceStatus status, std::uint32_t pages, ScanSink& sink);

}  // namespace bidder::desk
