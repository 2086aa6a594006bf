#include "desk/methods/page_conversation.h"

#include <array>
#include <utility>
#include <variant>

#include "desk/methods/methods.h"
#include "desk/rpc/response.h"

namespace bidder::desk {
namespace {

struct NamedMethod {
  std::string_view name;
  Method method;
};

constexpr std::array<NamedMethod, 13> kMethods = {{
    {"scanner.list", methods::ScannerList},
    {"scanner.scan", methods::ScannerScan},
    {"scanner.cancel", methods::ScannerCancel},
    {"scanner.state", methods::ScannerState},
    {"document.pages", methods::DocumentPages},
    {"document.remove", methods::DocumentRemove},
    {"document.move", methods::DocumentMove},
    {"document.clear", methods::DocumentClear},
    {"document.pdf", methods::DocumentPdf},
    {"document.png", methods::DocumentPng},
    {"token.status", methods::TokenStatus},
    {"crypt.encrypt", methods::CryptEncrypt},
    {"crypt.decrypt", methods::CryptDecrypt},
}};

}  // namespace

Method FindMethod(std::string_view name) {
  for (const NamedMethod& entry : kMethods) {
    if (entry.name == name) return entry.method;
  }
  return nullptr;
}

PageConversation::PageConversation(DeskServices& services, const SessionContext& context,
                                   std::shared_ptr<SessionChannel> channel)
    : services_(services) {
  auto session = std::make_shared<PageSession>();
  session->origin = context.origin;
  session->key = context.sessionKey;
  session->channel = channel;
  session->number = services_.sessions.Join(context.origin, std::move(channel));
  session_ = std::move(session);
}

PageConversation::~PageConversation() {
  services_.scans.CancelFor(session_->number);
  services_.sessions.Leave(session_->number);
}

std::string PageConversation::OnMessage(std::string_view text) {
  rpc::ParsedRequest parsed = rpc::ParseRequest(text);
  if (const auto* error = std::get_if<rpc::RequestError>(&parsed)) return rpc::WriteError(*error);
  auto* request = std::get_if<rpc::Request>(&parsed);
  if (!request) return {};  // a notification: JSON-RPC answers none
  const Method method = FindMethod(request->method);
  if (!method) return rpc::WriteError(request->id, rpc::FailureOf(rpc::ErrorReason::kUnknownMethod, "method"));
  const Call call{services_, session_, request->id, request->params};
  try {
    return method(call).value_or(std::string());
  } catch (const std::bad_alloc&) {
    return call.Error(rpc::ErrorReason::kInternal);
  } catch (const std::exception&) {
    // A file system error, most likely (the work directory's files are the
    // service's own, but a full or failing disk is the user's).
    return call.Error(rpc::ErrorReason::kInternal);
  }
}

}  // namespace bidder::desk
