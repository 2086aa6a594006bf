#pragma once
// What the server asks of the service behind it. The server carries bytes
// and enforces who may talk; everything a page asks for is the backend's.
// The JSON-RPC layer and, later, the scanner and document code plug in here
// without touching the network code.
#include <memory>
#include <string>
#include <string_view>

namespace bidder::desk {

class BlobStore;  // desk/blobs/blob_store.h

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
//
// The handler is destroyed on the server's thread as soon as its session
// ends (the page closed it or went away, the service closed it, or the
// service stops), whatever of the connection is still to finish: its
// destructor is the place to stop the session's work (a running scan).
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
  // The files that travel beside the sessions (POST and GET /v1/blobs). The
  // server ends a session's blobs when the session ends and expires unused
  // ones now and then.
  virtual BlobStore& Blobs() = 0;
};

}  // namespace bidder::desk
