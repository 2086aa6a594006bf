// The only translation unit that includes Boost.Beast and Boost.Asio (see
// server.h). Modelled on Beast's own small servers: a listener per loopback
// address, an HTTP session per connection that reads one request's headers
// at a time, and a WebSocket session once a page has upgraded. One thread
// runs them all, so the shared state needs no locks; only a SessionChannel
// may be called from elsewhere, and it posts onto that thread.
#include "desk/server/server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <csignal>
#include <deque>
#include <exception>
#include <optional>
#include <utility>

#include "desk/access/request_gate.h"
#include "random/random_hex.h"

namespace bidder::desk {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Request = http::request<http::empty_body>;

// What every connection of one server shares.
struct Shared {
  const ServerConfig& config;
  DeskBackend& backend;
  std::uint16_t port = 0;
  std::size_t openConnections = 0;

  void Log(std::string_view line) const {
    if (config.log) config.log(line);
  }
};

// One of the bounded places for open connections, held as long as the
// connection lives (through its upgrade to a WebSocket).
class ConnectionPlace {
 public:
  explicit ConnectionPlace(Shared& shared) : shared_(&shared) { ++shared_->openConnections; }
  ~ConnectionPlace() {
    if (shared_) --shared_->openConnections;
  }
  ConnectionPlace(ConnectionPlace&& other) noexcept : shared_(std::exchange(other.shared_, nullptr)) {}
  ConnectionPlace(const ConnectionPlace&) = delete;
  ConnectionPlace& operator=(const ConnectionPlace&) = delete;
  ConnectionPlace& operator=(ConnectionPlace&&) = delete;

 private:
  Shared* shared_;
};

std::string_view View(beast::string_view text) { return {text.data(), text.size()}; }

// Text a page chose (a path, a method) as it may go into a log line: printable
// ASCII only, and not without end.
std::string ForLog(std::string_view text) {
  constexpr std::size_t kMaxChars = 200;
  std::string shown;
  for (char c : text.substr(0, kMaxChars)) shown.push_back(c >= 0x20 && c < 0x7f ? c : '?');
  if (text.size() > kMaxChars) shown += "...";
  return shown;
}

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

std::string_view PathOf(std::string_view target) { return target.substr(0, target.find('?')); }

std::string HeaderValue(const std::vector<HttpHeader>& headers, std::string_view name) {
  for (const HttpHeader& header : headers) {
    if (header.name == name) return header.value;
  }
  return {};
}

class WebSocketSession;

// The way back to a page from any thread: onto the server's thread, then
// into the session's queue if the session is still open.
class QueuedChannel final : public SessionChannel {
 public:
  QueuedChannel(asio::any_io_executor executor, std::weak_ptr<WebSocketSession> session)
      : executor_(std::move(executor)), session_(std::move(session)) {}
  void Send(std::string text) override;

 private:
  asio::any_io_executor executor_;
  std::weak_ptr<WebSocketSession> session_;
};

class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
 public:
  WebSocketSession(beast::tcp_stream stream, Shared& shared, ConnectionPlace place, std::string peer, std::string origin)
      : socket_(std::move(stream)), shared_(shared), place_(std::move(place)), peer_(std::move(peer)) {
    context_.origin = std::move(origin);
  }

  void Start(Request request, std::vector<HttpHeader> headers) {
    request_ = std::move(request);
    beast::get_lowest_layer(socket_).expires_never();
    websocket::stream_base::timeout timeout = websocket::stream_base::timeout::suggested(beast::role_type::server);
    // A page that vanished without closing (a killed browser) answers no ping.
    timeout.idle_timeout = std::chrono::seconds(60);
    timeout.keep_alive_pings = true;
    socket_.set_option(timeout);
    socket_.read_message_max(shared_.config.limits.messageBytes);
    socket_.set_option(websocket::stream_base::decorator([headers = std::move(headers)](websocket::response_type& response) {
      for (const HttpHeader& header : headers) response.set(header.name, header.value);
    }));
    socket_.async_accept(request_, beast::bind_front_handler(&WebSocketSession::OnAccepted, shared_from_this()));
  }

  void Queue(std::string text) {
    if (closing_) return;
    if (outgoing_.size() >= shared_.config.limits.queuedMessages) {
      shared_.Log("session " + peer_ + " closed: the page reads nothing of what is sent to it");
      return Close(websocket::close_code::policy_error);
    }
    outgoing_.push_back(std::move(text));
    if (outgoing_.size() == 1) WriteFront();
  }

 private:
  void OnAccepted(beast::error_code ec) {
    if (ec) return shared_.Log("session " + peer_ + " not opened: " + ec.message());
    try {
      context_.sessionKey = RandomHex(16);
      auto channel = std::make_shared<QueuedChannel>(socket_.get_executor(), weak_from_this());
      handler_ = shared_.backend.OpenSession(context_, std::move(channel));
      Queue(shared_.backend.SessionReadyJson(context_));
    } catch (const std::exception& e) {
      shared_.Log("session " + peer_ + " not opened: " + e.what());
      return Close(websocket::close_code::internal_error);
    }
    shared_.Log("session " + peer_ + " opened for " + ForLog(context_.origin));
    ReadNext();
  }

  void ReadNext() {
    socket_.async_read(incoming_, beast::bind_front_handler(&WebSocketSession::OnRead, shared_from_this()));
  }

  void OnRead(beast::error_code ec, std::size_t) {
    if (ec) {
      if (ec != websocket::error::closed) shared_.Log("session " + peer_ + " ended: " + ec.message());
      return;
    }
    if (!socket_.got_text()) {
      shared_.Log("session " + peer_ + " closed: a binary message");
      return Close(websocket::close_code::unknown_data);
    }
    std::string answer;
    try {
      const std::string text = beast::buffers_to_string(incoming_.data());
      incoming_.consume(incoming_.size());
      answer = handler_->OnMessage(text);
    } catch (const std::exception& e) {
      shared_.Log("session " + peer_ + " closed: " + e.what());
      return Close(websocket::close_code::internal_error);
    }
    if (!answer.empty()) Queue(std::move(answer));
    ReadNext();
  }

  void WriteFront() {
    socket_.text(true);
    socket_.async_write(asio::buffer(outgoing_.front()),
                        beast::bind_front_handler(&WebSocketSession::OnWritten, shared_from_this()));
  }

  void OnWritten(beast::error_code ec, std::size_t) {
    if (ec) return;  // the read side sees the same end and logs it
    outgoing_.pop_front();
    if (!outgoing_.empty() && !closing_) WriteFront();
  }

  void Close(websocket::close_code code) {
    if (closing_) return;
    closing_ = true;
    socket_.async_close(code, [self = shared_from_this()](beast::error_code) {});
  }

  websocket::stream<beast::tcp_stream> socket_;
  Shared& shared_;
  ConnectionPlace place_;
  std::string peer_;
  Request request_;
  SessionContext context_;
  std::unique_ptr<MessageHandler> handler_;
  beast::flat_buffer incoming_;
  std::deque<std::string> outgoing_;
  bool closing_ = false;
};

void QueuedChannel::Send(std::string text) {
  asio::post(executor_, [session = session_, text = std::move(text)]() mutable {
    if (auto open = session.lock()) open->Queue(std::move(text));
  });
}

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, Shared& shared, ConnectionPlace place, std::string peer)
      : stream_(std::move(socket)), shared_(shared), place_(std::move(place)), peer_(std::move(peer)) {}

  void ReadHead() {
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(shared_.config.limits.headerBytes));
    stream_.expires_after(shared_.config.limits.headerTime);
    http::async_read_header(stream_, buffer_, *parser_,
                            beast::bind_front_handler(&HttpSession::OnHead, shared_from_this()));
  }

 private:
  void OnHead(beast::error_code ec, std::size_t) {
    if (ec) {
      if (ec != http::error::end_of_stream) shared_.Log("connection " + peer_ + " closed: " + ec.message());
      return Close();
    }
    try {
      Serve();
    } catch (const std::exception& e) {
      shared_.Log("connection " + peer_ + " closed: " + e.what());
      Close();
    }
  }

  // The gate first, on the headers alone; the body (if any) is never read
  // by the routes there are, so a connection that sent one is closed after
  // the answer.
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

    method_ = ForLog(head.method);
    path_ = ForLog(PathOf(head.target));
    keepAlive_ = request.keep_alive() && parser_->is_done();
    switch (decision.verdict) {
      case GateVerdict::kForbidden:
        keepAlive_ = false;
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
    Answer(http::status::not_found, std::move(decision.headers), "no such path");
  }

  void NotAllowed(std::vector<HttpHeader> headers, const char* allow) {
    headers.push_back({"Allow", allow});
    Answer(http::status::method_not_allowed, std::move(headers), "method");
  }

  void Answer(http::status status, std::vector<HttpHeader> headers, std::string_view reason, std::string json = {}) {
    shared_.Log(peer_ + " " + method_ + " " + path_ + " " + std::to_string(static_cast<unsigned>(status)) + " " +
                std::string(reason));
    response_ = http::response<http::string_body>(status, parser_->get().version());
    for (const HttpHeader& header : headers) response_.set(header.name, header.value);
    if (!json.empty()) response_.set(http::field::content_type, "application/json");
    response_.body() = std::move(json);
    response_.keep_alive(keepAlive_);
    response_.prepare_payload();
    stream_.expires_after(shared_.config.limits.writeTime);
    http::async_write(stream_, response_, beast::bind_front_handler(&HttpSession::OnAnswered, shared_from_this()));
  }

  void OnAnswered(beast::error_code ec, std::size_t) {
    if (ec || !keepAlive_) return Close();
    ReadHead();
  }

  void Upgrade(GateDecision decision) {
    shared_.Log(peer_ + " " + method_ + " " + path_ + " 101 " + decision.reason);
    std::string origin = HeaderValue(decision.headers, "Access-Control-Allow-Origin");
    auto session = std::make_shared<WebSocketSession>(std::move(stream_), shared_, std::move(place_), peer_,
                                                      std::move(origin));
    session->Start(parser_->release(), std::move(decision.headers));
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  Shared& shared_;
  ConnectionPlace place_;
  std::string peer_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::empty_body>> parser_;
  http::response<http::string_body> response_;
  std::string method_;
  std::string path_;
  bool keepAlive_ = false;
};

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
    std::make_shared<HttpSession>(std::move(socket), shared_, ConnectionPlace(shared_), peer)->ReadHead();
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
      : shared_{config, backend}, signals_(io_, SIGINT, SIGTERM) {}

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

  int Run() override {
    int caught = 0;
    signals_.async_wait([this, &caught](const beast::error_code& ec, int number) {
      if (ec) return;
      caught = number;
      io_.stop();
    });
    for (const auto& listener : listeners_) listener->Accept();
    io_.run();
    return caught;
  }

  void Stop() override { io_.stop(); }

 private:
  enum class PortResult { kListening, kTaken, kFailed };

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
  asio::signal_set signals_;
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
