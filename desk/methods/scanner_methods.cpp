// scanner.list, scanner.scan, scanner.cancel, scanner.state.
#include <array>
#include <future>
#include <system_error>
#include <string_view>

#include "desk/document/document_output.h"
#include "desk/methods/methods.h"
#include "desk/methods/values.h"
#include "desk/rpc/response.h"

namespace bidder::desk::methods {
namespace {

using rpc::Value;

constexpr std::array<std::string_view, 3> kModes = {"color", "gray", "bw"};
constexpr std::array<std::string_view, 2> kSources = {"flatbed", "adf"};
constexpr std::array<std::string_view, 2> kCompressions = {"lossless", "compact"};
// Far beyond what a document scanner offers, far below what would overflow
// a page's size; the scanner takes its nearest resolution within.
constexpr rpc::IntegerRange kResolutions = {25, 2400};

// Where a scan's pages go: the page's origin's document, a scan.page to the
// page that scans, document.changed to every page of the origin.
class DocumentSink final : public ScanSink {
 public:
  DocumentSink(DeskServices& services, std::shared_ptr<const PageSession> session, std::shared_ptr<Document> document)
      : services_(services), session_(std::move(session)), document_(std::move(document)) {}

  bool OnPage(std::span<const std::uint8_t> packedDib) override {
    // The thumbnail on the other core while the page file is compressed:
    // the page reaches the bidder's screen in the time storing it takes.
    std::future<std::optional<std::vector<std::uint8_t>>> thumbnailPng;
    try {
      thumbnailPng = std::async(std::launch::async, [packedDib] { return ThumbnailPngOfDib(packedDib); });
    } catch (const std::system_error&) {
      thumbnailPng = std::async(std::launch::deferred, [packedDib] { return ThumbnailPngOfDib(packedDib); });
    }
    bool diskFull = false;
    const std::optional<PageInfo> page = document_->AddDibPage(packedDib, &diskFull);
    const std::optional<std::vector<std::uint8_t>> png = thumbnailPng.get();
    if (!page) {
      // A page that cannot be stored ends the scan: the next would fail too.
      failedOnDisk_ = diskFull;
      return false;
    }
    ++added_;
    const std::vector<PageInfo> pages = document_->Pages();
    std::size_t index = pages.size();
    for (std::size_t i = 0; i < pages.size(); ++i) {
      if (pages[i].id == page->id) index = i;
    }
    std::string thumbnail;
    if (png) thumbnail = PngDataUrl(*png);
    session_->channel->Send(rpc::WriteNotification(
        rpc::kScanPage, Value(Value::Object{
                            {"id", Value(page->id)},
                            {"index", Value(index)},
                            {"width", Value(page->width)},
                            {"height", Value(page->height)},
                            {"resolution", Value(page->resolution)},
                            {"mode", Value(PageModeName(page->mode))},
                            {"thumbnail", Value(std::move(thumbnail))},
                        })));
    services_.sessions.Broadcast(session_->origin, DocumentChangedMessage(pages));
    return true;
  }

  void OnStatus(std::string_view status) override {
    session_->channel->Send(
        rpc::WriteNotification(rpc::kScanStatus, Value(Value::Object{{"status", Value(status)}})));
  }

  std::uint32_t Added() const { return added_; }
  bool FailedOnDisk() const { return failedOnDisk_; }
  std::size_t Total() const { return document_->PageCount(); }

 private:
  DeskServices& services_;
  std::shared_ptr<const PageSession> session_;
  std::shared_ptr<Document> document_;
  std::uint32_t added_ = 0;
  bool failedOnDisk_ = false;
};

}  // namespace

Answer ScannerList(const Call& call) {
  // Asking SANE for its devices can take seconds (network scanners), and
  // the backend serves one caller at a time: off the server's thread.
  call.services.tasks.Post([&services = call.services, reply = call.Later()] {
    Value::Array list;
    for (const ScannerEntry& scanner : services.scanners.List()) {
      list.push_back(Value(Value::Object{
          {"id", Value(scanner.id)},
          {"name", Value(scanner.name)},
          {"default", Value(scanner.isDefault)},
      }));
    }
    reply.Result(Value(std::move(list)));
  });
  return kAnswerLater;
}

Answer ScannerScan(const Call& call) {
  ScanSettings settings;
  settings.scanner = call.params.String("scanner");
  if (auto resolution = call.params.Integer("resolution", kResolutions)) settings.resolution = static_cast<int>(*resolution);
  if (auto mode = call.params.Choice("mode", kModes)) settings.mode = static_cast<ScanMode>(*mode);
  if (auto source = call.params.Choice("source", kSources)) {
    settings.source = *source == 0 ? ScanSource::kFlatbed : ScanSource::kFeeder;
  }
  settings.showUI = call.params.Bool("showUI").value_or(false);
  const std::optional<std::size_t> compression = call.params.Choice("compression", kCompressions);
  if (call.params.failure()) return call.ParamsError();
  // Compact pages are not offered yet (hello lists no "compact"): every page
  // is stored losslessly, as the scanning control stores it.
  if (compression == 1) return call.Error(rpc::FailureOf(rpc::ErrorReason::kBadRequest, "compression"));

  const std::shared_ptr<const PageSession>& session = call.session;
  auto sink = std::make_shared<DocumentSink>(call.services, session, call.services.documents.For(session->origin));
  const Reply reply = call.Later();
  const bool started = call.services.scans.Start(
      session->number, session->origin, std::move(settings), sink, [sink, reply](const ScanOutcome& outcome) {
        if (sink->FailedOnDisk()) return reply.Error(rpc::FailureOf(rpc::ErrorReason::kDiskFull));
        if (outcome.failure) return reply.Error(rpc::Failure{*outcome.failure, {}, outcome.message});
        reply.Result(Value(Value::Object{{"added", Value(sink->Added())}, {"total", Value(sink->Total())}}));
      });
  if (!started) return call.Error(rpc::ErrorReason::kBusy);
  return kAnswerLater;
}

Answer ScannerCancel(const Call& call) {
  call.services.scans.CancelFor(call.session->number);
  return call.Result(Value(Value::Object{}));
}

Answer ScannerState(const Call& call) {
  const ScanCoordinator& scans = call.services.scans;
  return call.Result(Value(Value::Object{
      {"scanning", Value(scans.Scanning())},
      {"mine", Value(scans.ScanningFor(call.session->number))},
  }));
}

}  // namespace bidder::desk::methods
