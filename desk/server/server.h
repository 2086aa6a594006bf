#pragma once
// The desk service's listener and its HTTP and WebSocket sessions on the
// loopback interface. Boost.Beast and Boost.Asio stay inside
// desk_server.cpp: they take minutes to compile, so nothing else includes
// them, and this header is all the program sees.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "desk/access/origin_list.h"
#include "desk/server/backend.h"

namespace bidder::desk {

// Whether the process at the other end of an accepted connection may talk to
// the service (the same OS user); `why` goes to the log either way.
struct PeerDecision {
  bool allowed = false;
  std::string why;
};
// Given the accepted socket's native handle (a file descriptor on POSIX).
using PeerCheck = std::function<PeerDecision(std::intptr_t nativeSocket)>;

// One line for the service's log. Never handed a session key or content.
using LogLine = std::function<void(std::string_view line)>;

struct ServerLimits {
  std::size_t connections = 64;  // open at once, WebSocket sessions included
  std::size_t headerBytes = 16 * 1024;
  std::chrono::seconds headerTime{10};  // to send a request's headers
  std::chrono::seconds writeTime{30};  // to take an answer, or one piece of a blob's
  // The longest pause in a blob's body as a page sends it: a page that sent
  // less than it declared loses the connection, and the upload its file.
  std::chrono::seconds bodyPause{15};
  // One WebSocket message from a page: a request is a method name and a few
  // short parameters (bytes travel as blobs), so 64 KiB is far more than any needs.
  std::size_t messageBytes = 64 * 1024;
  std::size_t queuedMessages = 1024;       // unsent messages to a page that does not read
};

struct ServerConfig {
  // Tried in order until one is free on the loopback addresses.
  std::vector<std::uint16_t> ports;
  const OriginList* origins = nullptr;
  PeerCheck peerCheck;
  LogLine log;
  ServerLimits limits;
};

enum class OpenError {
  kNone,
  kPortsTaken,  // every port tried was in use
  kOther,       // the message says what
};

class DeskServer {
 public:
  // Binds 127.0.0.1 and [::1] (IPv4 alone where the machine has no IPv6
  // loopback) on the first free port of `config.ports`. Empty on failure,
  // with `error` and `message` set. The config and the backend must outlive
  // the server.
  static std::unique_ptr<DeskServer> Open(const ServerConfig& config, DeskBackend& backend, OpenError& error,
                                          std::string& message);
  virtual ~DeskServer() = default;

  virtual std::uint16_t Port() const = 0;
  // Serves until Stop() is called. Signals are the program's business: a
  // scanner driver loaded into the process may take over a signal's handler.
  virtual void Run() = 0;
  // From any thread.
  virtual void Stop() = 0;
};

}  // namespace bidder::desk
