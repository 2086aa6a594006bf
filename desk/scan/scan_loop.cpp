#include "desk/scan/scan_loop.h"

#include <cstdint>
#include <vector>

#include "desk/scan/page_builder.h"
#include "desk/scan/scan_texts.h"

namespace bidder::desk {
namespace {

using rpc::ErrorReason;

constexpr std::size_t kReadChunk = 64 * 1024;

ScanOutcome Failed(std::uint32_t pages, ErrorReason reason, std::string message = {}) {
  return ScanOutcome{pages, reason, std::move(message)};
}

ScanOutcome PageFaultOutcome(PageFault fault, std::uint32_t pages) {
  switch (fault) {
    case PageFault::kTooLarge:
      return Failed(pages, ErrorReason::kScanner, scan_text::kPageTooLargeText);
    case PageFault::kNoImage:
      return Failed(pages, ErrorReason::kScanner, scan_text::kNoImageText);
    case PageFault::kUnsupportedFormat:
    case PageFault::kBadParameters:
    case PageFault::kFrameMismatch:
    case PageFault::kNone:
      break;
  }
  return Failed(pages, ErrorReason::kScanner, scan_text::kUnsupportedImageText);
}

}  // namespace

ScanOutcome FaultOutcome(DeviceStatus status, std::uint32_t pages, ScanSink& sink) {
  switch (status) {
    case DeviceStatus::kCancelled:
      return Failed(pages, ErrorReason::kCancelled);
    case DeviceStatus::kJammed:
      sink.OnStatus("jam");
      return Failed(pages, ErrorReason::kScanner, scan_text::kJamText);
    case DeviceStatus::kCoverOpen:
      sink.OnStatus("cover-open");
      return Failed(pages, ErrorReason::kScanner, scan_text::kCoverOpenText);
    case DeviceStatus::kNoDocs:
      sink.OnStatus("feeder-empty");
      return Failed(pages, ErrorReason::kScanner, scan_text::kNoPaperText);
    case DeviceStatus::kIoError:
      return Failed(pages, ErrorReason::kScanner, scan_text::kIoErrorText);
    case DeviceStatus::kDeviceBusy:
      return Failed(pages, ErrorReason::kScanner, scan_text::kDeviceBusyText);
    case DeviceStatus::kNoMemory:
      return Failed(pages, ErrorReason::kScanner, scan_text::kNoMemoryText);
    case DeviceStatus::kInvalid:
      return Failed(pages, ErrorReason::kScanner, scan_text::kInvalidText);
    case DeviceStatus::kAccessDenied:
      return Failed(pages, ErrorReason::kScanner, scan_text::kAccessDeniedText);
    case DeviceStatus::kGood:
    case DeviceStatus::kEof:
    case DeviceStatus::kUnsupported:
    case DeviceStatus::kOther:
      break;
  }
  return Failed(pages, ErrorReason::kScanner);
}

ScanOutcome RunScanLoop(ScanDevice& device, const ScanPlan& plan, ScanSink& sink,
                        const std::atomic<bool>& cancelRequested) {
  std::uint32_t pages = 0;
  PageBuilder builder(plan.bilevelFromGrey);
  std::vector<std::uint8_t> chunk(kReadChunk);
  // Once cancelled, whatever the device says next (an I/O error, the end of
  // a frame cut short) is the cancel's doing, and the page under way is not
  // a whole page.
  auto ending = [&](DeviceStatus status) {
    return cancelRequested.load() ? Failed(pages, ErrorReason::kCancelled) : FaultOutcome(status, pages, sink);
  };
  for (;;) {
    if (cancelRequested.load()) return Failed(pages, ErrorReason::kCancelled);
    // One page: one frame, or three of one colour each.
    for (bool firstFrame = true;; firstFrame = false) {
      DeviceStatus status = device.Start();
      if (status == DeviceStatus::kNoDocs && firstFrame && pages > 0) {
        // The feeder ran out after at least one page: how feeder scans end.
        sink.OnStatus("feeder-empty");
        return ScanOutcome{pages, std::nullopt, {}};
      }
      if (status != DeviceStatus::kGood) return ending(status);
      FrameParameters frame;
      status = device.Parameters(frame);
      if (status != DeviceStatus::kGood) return ending(status);
      if (const PageFault fault = builder.BeginFrame(frame); fault != PageFault::kNone)
        return PageFaultOutcome(fault, pages);
      for (;;) {
        std::size_t got = 0;
        status = device.Read(chunk, got);
        if (status == DeviceStatus::kEof) break;
        if (status != DeviceStatus::kGood) return ending(status);
        if (got > chunk.size()) return PageFaultOutcome(PageFault::kBadParameters, pages);
        if (const PageFault fault = builder.Feed(std::span(chunk).first(got)); fault != PageFault::kNone)
          return PageFaultOutcome(fault, pages);
      }
      if (cancelRequested.load()) return Failed(pages, ErrorReason::kCancelled);
      builder.EndFrame();
      if (frame.lastFrame) break;
    }
    PageFault fault = PageFault::kNone;
    const std::vector<std::uint8_t> page = builder.Finish(plan.dpi, fault);
    if (fault != PageFault::kNone) return PageFaultOutcome(fault, pages);
    if (!sink.OnPage(page)) return Failed(pages, ErrorReason::kDiskFull);
    ++pages;
    if (!plan.feeder) return ScanOutcome{pages, std::nullopt, {}};
  }
}

}  // namespace bidder::desk
