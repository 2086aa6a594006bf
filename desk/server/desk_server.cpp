// The only translation unit that includes Boost.Beast and Boost.Asio (see
// server.h), in parts: beast_connection.h (what connections share),
// beast_websocket.h (a page's session), beast_blobs.h (blobs in and out),
// and here the HTTP session that reads requests, the listeners and the
// server. Modelled on Beast's own small servers: a listener per loopback
// address, an HTTP session per connection that reads one request's headers
// at a time and hands the connection on to a WebSocket session or a blob
// transfer. One thread runs them all, so the shared state needs no locks;
// only a SessionChannel may be called from elsewhere, and it posts onto that
// thread.
#include "desk/server/server.h"

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/steady_timer.hpp>
#include <exception>
#include <limits>
#include <optional>
#include <utility>

#include "desk/access/request_gate.h"
#include "desk/server/beast_blobs.h"
#include "desk/server/beast_connection.h"
#include "desk/server/beast_websocket.h"

namespace bidder::desk {
namespace {

std::string PeerName(const tcp::socket& socket) {
  beast::error_code ec;
  const tcp::endpoint peer = socket.remote_endpoint(ec);
  if (ec) return "(unknown peer)";
  try {
    const std::string address = peer.address().to_string();
    return (peer.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(peer.port());
  } catch (const std::exception&) {
    return "(unknown peer)";
  }
}

// A header the gate reads, which must come once: with two Host or Origin
// headers, the one judged might not be the one a later reader uses.
std::optional<std::string_view> SingleField(const http::fields& fields, std::string_view name, bool& repeated) {
  const auto [first, last] = fields.equal_range(beast::string_view(name.data(), name.size()));
  if (first == last) return std::nullopt;
  if (std::next(first) != last) repeated = true;
  return View(first->value());
}

constexpr std::string_view kBlobsPath = "/v1/blobs";
constexpr std::string_view kBlobPathPrefix = "/v1/blobs/";

// A blob's id stays out of the log: with a session key it is the blob.
std::string PathForLog(std::string_view path) {
  return path.starts_with(kBlobPathPrefix) ? std::string(kBlobPathPrefix) + "*" : ForLog(path);
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(Connection connection, Shared& shared) : connection_(std::move(connection)), shared_(shared) {}

  void ReadHead() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(shared_.config.limits.headerBytes));
    // Bodies are judged by the routes that read them (an upload against the
    // blob limit): the headers of a large one are read like any others.
    // (No limit as boost::none: Boost 1.74 compares a length with it as larger.)
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
    connection_.stream.expires_after(shared_.config.limits.headerTime);
    http::async_read_header(connection_.stream, connection_.buffer, *parser_,
                            beast::bind_front_handler(&HttpSession::OnHead, shared_from_this()));
  }

 private:
  void OnHead(beast::error_code ec, std::size_t) {
    if (ec) {
      if (ec != http::error::end_of_stream) shared_.Log("connection " + connection_.peer + " closed: " + ec.message());
      return CloseStream(connection_.stream);
    }
    try {
      Serve();
    } catch (const std::exception& e) {
      shared_.Log("connection " + connection_.peer + " closed: " + e.what());
      // Once handed on, the connection closes with its new owner.
      if (!handedOn_) CloseStream(connection_.stream);
    }
  }

  // The gate first, on the headers alone. Only an upload reads a body, once
  // its checks have passed; after any other answer a connection that sent
  // one is closed.
  void Serve() {
    const Request& request = parser_->get();
    bool repeated = false;
    RequestHead head;
    head.method = View(request.method_string());
    head.target = View(request.target());
    head.host = SingleField(request, "Host", repeated);
    head.origin = SingleField(request, "Origin", repeated);
    head.secFetchMode = SingleField(request, "Sec-Fetch-Mode", repeated);
    head.accessControlRequestMethod = SingleField(request, "Access-Control-Request-Method", repeated);
    head.accessControlRequestPrivateNetwork = SingleField(request, "Access-Control-Request-Private-Network", repeated);
    head.authorization = SingleField(request, "Authorization", repeated);
    if (repeated) head.host.reset();  // refused as a request to no known host
    GateDecision decision = DecideRequest(head, *shared_.config.origins, shared_.port);
    if (repeated) decision.reason = "a repeated header";

    exchange_.method = ForLog(head.method);
    exchange_.path = PathForLog(PathOf(head.target));
    exchange_.version = request.version();
    exchange_.keepAlive = request.keep_alive() && parser_->is_done();
    switch (decision.verdict) {
      case GateVerdict::kForbidden:
        exchange_.keepAlive = false;
        return Answer(http::status::forbidden, std::move(decision.headers), decision.reason);
      case GateVerdict::kPreflight:
        return Answer(http::status::no_content, std::move(decision.headers), decision.reason);
      case GateVerdict::kRefused:
        return Answer(static_cast<http::status>(decision.status), std::move(decision.headers), decision.reason);
      case GateVerdict::kProceed:
        return Route(std::move(decision));
    }
  }

  void Route(GateDecision decision) {
    const Request& request = parser_->get();
    const std::string_view path = PathOf(View(request.target()));
    const bool isGet = request.method() == http::verb::get;
    if (path == "/v1/hello") {
      if (!isGet) return NotAllowed(std::move(decision.headers), "GET");
      return Answer(http::status::ok, std::move(decision.headers), "hello", shared_.backend.HelloJson());
    }
    if (path == "/v1/session") {
      if (!isGet) return NotAllowed(std::move(decision.headers), "GET");
      if (!websocket::is_upgrade(request)) {
        decision.headers.push_back({"Upgrade", "websocket"});
        return Answer(http::status::upgrade_required, std::move(decision.headers), "no upgrade");
      }
      return Upgrade(std::move(decision));
    }
    if (path == kBlobsPath || path.starts_with(kBlobPathPrefix)) return RouteBlob(std::move(decision), path);
    Answer(http::status::not_found, std::move(decision.headers), "no such path");
  }

  // Everything a transfer needs is decided here, on the headers: the key
  // and the method. The transfer takes the connection from there.
  void RouteBlob(GateDecision decision, std::string_view path) {
    std::optional<BlobOwner> owner = BlobOwnerOf(shared_, decision);
    if (!owner) {
      decision.headers.push_back({"WWW-Authenticate", "Bearer"});
      return Answer(http::status::unauthorized, std::move(decision.headers), "no open session with this key");
    }
    const http::verb method = parser_->get().method();
    if (path == kBlobsPath) {
      if (method != http::verb::post) return NotAllowed(std::move(decision.headers), "POST");
      handedOn_ = true;
      auto upload = std::make_shared<BlobUpload>(std::move(connection_), shared_, exchange_, std::move(*owner),
                                                 std::move(decision.headers));
      return upload->Start(std::move(*parser_));
    }
    if (method != http::verb::get) return NotAllowed(std::move(decision.headers), "GET");
    const std::string id(path.substr(kBlobPathPrefix.size()));
    handedOn_ = true;
    auto download = std::make_shared<BlobDownload>(std::move(connection_), shared_, exchange_, std::move(*owner),
                                                   std::move(decision.headers));
    download->Start(id);
  }

  void NotAllowed(std::vector<HttpHeader> headers, const char* allow) {
    headers.push_back({"Allow", allow});
    Answer(http::status::method_not_allowed, std::move(headers), "method");
  }

  void Answer(http::status status, const std::vector<HttpHeader>& headers, std::string_view reason,
              std::string json = {}) {
    response_ = MakeAnswer(shared_, connection_.peer, exchange_, status, headers, reason, std::move(json));
    connection_.stream.expires_after(shared_.config.limits.writeTime);
    http::async_write(connection_.stream, response_,
                      beast::bind_front_handler(&HttpSession::OnAnswered, shared_from_this()));
  }

  void OnAnswered(beast::error_code ec, std::size_t) {
    if (ec || !exchange_.keepAlive) return CloseStream(connection_.stream);
    ReadHead();
  }

  void Upgrade(GateDecision decision) {
    shared_.Log(connection_.peer + " " + exchange_.method + " " + exchange_.path + " 101 " + decision.reason);
    std::string origin = HeaderValue(decision.headers, "Access-Control-Allow-Origin");
    handedOn_ = true;
    auto session = std::make_shared<WebSocketSession>(std::move(connection_.stream), shared_,
                                                      std::move(connection_.place), connection_.peer, std::move(origin));
    session->Start(parser_->release(), std::move(decision.headers));
  }

  Connection connection_;
  Shared& shared_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  Exchange exchange_;
  http::response<http::string_body> response_;
  bool handedOn_ = false;
};

void ReadNextRequest(Connection connection, Shared& shared) {
  std::make_shared<HttpSession>(std::move(connection), shared)->ReadHead();
}

// Accepts on one address; decides about each connection before it reads a
// byte: the bound on connections, then the peer's OS user.
class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(tcp::acceptor acceptor, Shared& shared)
      : acceptor_(std::move(acceptor)), retry_(acceptor_.get_executor()), shared_(shared) {}

  void Accept() {
    acceptor_.async_accept(beast::bind_front_handler(&Listener::OnAccepted, shared_from_this()));
  }

 private:
  void OnAccepted(beast::error_code ec, tcp::socket socket) {
    if (ec) {
      if (ec == asio::error::operation_aborted) return;
      // Out of descriptors, most likely: wait rather than spin.
      shared_.Log(std::string("accepting failed: ") + ec.message());
      retry_.expires_after(std::chrono::milliseconds(200));
      retry_.async_wait([self = shared_from_this()](beast::error_code waited) {
        if (!waited) self->Accept();
      });
      return;
    }
    Decide(std::move(socket));
    Accept();
  }

  void Decide(tcp::socket socket) {
    const std::string peer = PeerName(socket);
    if (shared_.openConnections >= shared_.config.limits.connections) {
      return shared_.Log("connection " + peer + " closed unanswered: too many connections");
    }
    PeerDecision decision;
    try {
      if (shared_.config.peerCheck) decision = shared_.config.peerCheck(static_cast<std::intptr_t>(socket.native_handle()));
      else decision.why = "no way to tell the peer's user";
    } catch (const std::exception& e) {
      decision = {false, e.what()};
    }
    if (!decision.allowed) return shared_.Log("connection " + peer + " closed unanswered: " + decision.why);
    shared_.Log("connection " + peer + " accepted: " + decision.why);
    ReadNextRequest(Connection{beast::tcp_stream(std::move(socket)), {}, ConnectionPlace(shared_), peer}, shared_);
  }

  tcp::acceptor acceptor_;
  asio::steady_timer retry_;
  Shared& shared_;
};

bool IsTaken(const beast::error_code& ec) {
  return ec == asio::error::address_in_use || ec == asio::error::access_denied;
}

bool Listen(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, beast::error_code& ec) {
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec && endpoint.address().is_v6()) acceptor.set_option(asio::ip::v6_only(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
  return !ec;
}

class BeastServer final : public DeskServer {
 public:
  BeastServer(const ServerConfig& config, DeskBackend& backend)
      : shared_{config, backend, 0, 0, {}} {}

  bool Open(OpenError& error, std::string& message) {
    for (std::uint16_t port : shared_.config.ports) {
      switch (TryPort(port, message)) {
        case PortResult::kListening:
          shared_.port = port;
          error = OpenError::kNone;
          return true;
        case PortResult::kTaken:
          shared_.Log("port " + std::to_string(port) + " is taken");
          continue;
        case PortResult::kFailed:
          error = OpenError::kOther;
          return false;
      }
    }
    error = OpenError::kPortsTaken;
    const std::vector<std::uint16_t>& ports = shared_.config.ports;
    if (ports.empty()) message = "no port to listen on";
    else if (ports.size() == 1) message = "port " + std::to_string(ports.front()) + " is taken";
    else message = "ports " + std::to_string(ports.front()) + "-" + std::to_string(ports.back()) + " are all taken";
    return false;
  }

  std::uint16_t Port() const override { return shared_.port; }

  void Run() override {
    for (const auto& listener : listeners_) listener->Accept();
    ExpireBlobsLater();
    io_.run();
  }

  void Stop() override { io_.stop(); }

 private:
  enum class PortResult { kListening, kTaken, kFailed };

  // Blobs nobody used for their lifetime go within this much longer.
  static constexpr std::chrono::seconds kExpiryPeriod{30};

  void ExpireBlobsLater() {
    expiry_.expires_after(kExpiryPeriod);
    expiry_.async_wait([this](const beast::error_code& ec) {
      if (ec) return;
      try {
        shared_.backend.Blobs().Expire();
      } catch (const std::exception& e) {
        shared_.Log(std::string("expiring blobs failed: ") + e.what());
      }
      ExpireBlobsLater();
    });
  }

  PortResult TryPort(std::uint16_t port, std::string& message) {
    beast::error_code ec;
    tcp::acceptor v4(io_);
    if (!Listen(v4, {asio::ip::address_v4::loopback(), port}, ec)) {
      if (IsTaken(ec)) return PortResult::kTaken;
      message = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + ec.message();
      return PortResult::kFailed;
    }
    tcp::acceptor v6(io_);
    const bool hasV6 = Listen(v6, {asio::ip::address_v6::loopback(), port}, ec);
    if (!hasV6 && IsTaken(ec)) return PortResult::kTaken;
    listeners_.push_back(std::make_shared<Listener>(std::move(v4), shared_));
    if (hasV6) {
      listeners_.push_back(std::make_shared<Listener>(std::move(v6), shared_));
    } else {
      shared_.Log("IPv4 only: no IPv6 loopback here (" + ec.message() + ")");
    }
    return PortResult::kListening;
  }

  // Destroyed in reverse: the listeners, then the io_context with the
  // sessions its pending work still holds (they count down shared_), then shared_.
  Shared shared_;
  asio::io_context io_{1};
  asio::steady_timer expiry_{io_};
  std::vector<std::shared_ptr<Listener>> listeners_;
};

}  // namespace

std::unique_ptr<DeskServer> DeskServer::Open(const ServerConfig& config, DeskBackend& backend, OpenError& error,
                                             std::string& message) {
  error = OpenError::kOther;
  if (!config.origins) {
    message = "no origin list";
    return nullptr;
  }
  try {
    auto server = std::make_unique<BeastServer>(config, backend);
    if (!server->Open(error, message)) return nullptr;
    return server;
  } catch (const std::exception& e) {
    error = OpenError::kOther;
    message = e.what();
    return nullptr;
  }
}

}  // namespace bidder::desk
