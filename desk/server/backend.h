#pragma once
// What the server asks of the service behind it. The server carries bytes
// and enforces who may talk; everything a page asks for is the backend's.
// The JSON-RPC layer and, later, the scanner and document code plug in here
// without touching the network code.
#include <memory>
#include <string>
#include <string_view>

namespace bidder::desk {

// One WebSocket conversation as the backend sees it.
struct SessionContext {
  std::string origin;      // the page's allowed origin, normalised
  std::string sessionKey;  // the key announced in session.ready; blob requests carry it
};

// The way back to one page outside an answer: notifications (a scanned page,
// a changed document). Safe to call from any thread; after the session has
// closed, messages are dropped.
class SessionChannel {
 public:
  virtual ~SessionChannel() = default;
  virtual void Send(std::string text) = 0;
};

// The conversation with one page: each text message from the page in, at
// most one text message out (empty: nothing to answer, as for a JSON-RPC
// notification). Called on the server's thread, one message at a time; an
// exception ends that session only.
class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  virtual std::string OnMessage(std::string_view text) = 0;
};

class DeskBackend {
 public:
  virtual ~DeskBackend() = default;
  // The body of GET /v1/hello (JSON).
  virtual std::string HelloJson() const = 0;
  // The first message of a session: the session.ready notification.
  virtual std::string SessionReadyJson(const SessionContext& session) const = 0;
  // A new page's conversation; `channel` stays valid as long as the handler.
  virtual std::unique_ptr<MessageHandler> OpenSession(const SessionContext& session,
                                                      std::shared_ptr<SessionChannel> channel) = 0;
};

}  // namespace bidder::desk
