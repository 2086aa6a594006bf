// document.pages, .remove, .move, .clear, .pdf, .png: the page's origin's
// document, shared by every page of that origin.
#include <limits>

#include "desk/document/document_output.h"
#include "desk/methods/methods.h"
#include "desk/methods/values.h"

namespace bidder::desk::methods {
namespace {

using rpc::Value;

// Every page of the origin learns of a change, the one that made it too.
void AnnounceChange(const Call& call, const Document& document) {
  call.services.sessions.Broadcast(call.session->origin, DocumentChangedMessage(document.Pages()));
}

// An output's failure as the page hears it: the scanning control's own text
// where it has one for the case.
rpc::Failure OutputFailure(const OutputResult& result) {
  switch (result.outcome) {
    case OutputOutcome::kNoPages:
      return rpc::FailureOf(rpc::ErrorReason::kNoPages);
    case OutputOutcome::kDiskFull:
      return rpc::FailureOf(rpc::ErrorReason::kDiskFull);
    default:
      return rpc::FailureWithControlText(rpc::ErrorReason::kInternal, result.controlMessage);
  }
}

}  // namespace

Answer DocumentPages(const Call& call) {
  return call.Result(PageListValue(call.services.documents.For(call.session->origin)->Pages()));
}

Answer DocumentRemove(const Call& call) {
  const std::optional<std::string> id = call.params.String("id", rpc::Need::kRequired);
  if (call.params.failure()) return call.ParamsError();
  const std::shared_ptr<Document> document = call.services.documents.For(call.session->origin);
  if (!document->Remove(*id)) return call.Error(rpc::FailureOf(rpc::ErrorReason::kNotFound, "id"));
  AnnounceChange(call, *document);
  return call.Result(PageListValue(document->Pages()));
}

Answer DocumentMove(const Call& call) {
  const std::optional<std::string> id = call.params.String("id", rpc::Need::kRequired);
  const std::optional<std::int64_t> to =
      call.params.Integer("to", {0, std::numeric_limits<std::int32_t>::max()}, rpc::Need::kRequired);
  if (call.params.failure()) return call.ParamsError();
  const std::shared_ptr<Document> document = call.services.documents.For(call.session->origin);
  if (!document->PagePath(*id)) return call.Error(rpc::FailureOf(rpc::ErrorReason::kNotFound, "id"));
  if (!document->Move(*id, static_cast<std::size_t>(*to))) {
    return call.Error(rpc::FailureOf(rpc::ErrorReason::kBadRequest, "to"));
  }
  AnnounceChange(call, *document);
  return call.Result(PageListValue(document->Pages()));
}

Answer DocumentClear(const Call& call) {
  const std::shared_ptr<Document> document = call.services.documents.For(call.session->origin);
  document->Clear();
  AnnounceChange(call, *document);
  return call.Result(Value(Value::Object{}));
}

Answer DocumentPdf(const Call& call) {
  DocumentInfo info;
  info.creator = call.params.String("creator").value_or("");
  info.author = call.params.String("author").value_or("");
  info.title = call.params.String("title").value_or("");
  info.subject = call.params.String("subject").value_or("");
  const bool keep = call.params.Bool("keep").value_or(false);
  if (call.params.failure()) return call.ParamsError();

  const std::string& origin = call.session->origin;
  // Binding while pages still arrive would bind half a document.
  if (call.services.scans.ScanningOrigin(origin)) return call.Error(rpc::ErrorReason::kBusy);
  std::shared_ptr<Document> document = call.services.documents.For(origin);
  if (document->PageCount() == 0) return call.Error(rpc::ErrorReason::kNoPages);

  call.services.tasks.Post([&services = call.services, session = call.session, document = std::move(document),
                            info = std::move(info), keep, reply = call.Later()] {
    const std::uint64_t revision = document->Revision();
    PendingFile output = services.blobs.NewPendingFile();
    const OutputResult result = BindPdf(document->PagePaths(), output.path().string(), info);
    if (result.outcome != OutputOutcome::kWritten) return reply.Error(OutputFailure(result));
    std::function<void()> onDownloaded;
    if (!keep) {
      // The bound document ends once the page has its PDF, unless it changed
      // meanwhile: pages scanned after binding are not in that PDF.
      onDownloaded = [&services, session, document, revision] {
        if (document->Revision() != revision) return;
        services.documents.End(session->origin);
        services.sessions.Broadcast(session->origin, DocumentChangedMessage({}));
      };
    }
    reply.Result(BlobValue(services.blobs.AddOutput(session->Owner(), std::move(output), "application/pdf",
                                                    std::move(onDownloaded))));
  });
  return kAnswerLater;
}

Answer DocumentPng(const Call& call) {
  const std::optional<std::string> id = call.params.String("id", rpc::Need::kRequired);
  if (call.params.failure()) return call.ParamsError();
  const std::optional<std::string> page = call.services.documents.For(call.session->origin)->PagePath(*id);
  if (!page) return call.Error(rpc::FailureOf(rpc::ErrorReason::kNotFound, "id"));

  call.services.tasks.Post([&services = call.services, session = call.session, page = *page, reply = call.Later()] {
    PendingFile output = services.blobs.NewPendingFile();
    const OutputResult result = PagePng(page, output.path().string());
    if (result.outcome != OutputOutcome::kWritten) return reply.Error(OutputFailure(result));
    reply.Result(BlobValue(services.blobs.AddOutput(session->Owner(), std::move(output), "image/png")));
  });
  return kAnswerLater;
}

}  // namespace bidder::desk::methods
