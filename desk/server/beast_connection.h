#pragma once
// A part of desk_server.cpp's translation unit, included by it alone (see
// CMakeLists.txt): what every connection of one server shares, and a
// connection as it passes from one handler to the next (the HTTP session
// that reads requests, a blob transfer, a WebSocket session). Everything
// runs on the server's one thread, so nothing here needs a lock.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "desk/access/request_gate.h"
#include "desk/server/server.h"

namespace bidder::desk {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Request = http::request<http::empty_body>;

struct Shared {
  const ServerConfig& config;
  DeskBackend& backend;
  std::uint16_t port = 0;
  std::size_t openConnections = 0;
  // The keys of the open WebSocket sessions and their pages' origins: a
  // blob request's key must be one of them, for the same origin.
  std::map<std::string, std::string, std::less<>> openSessions;

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

// A connection between two handlers: the stream, what was read beyond the
// last request, its place, and the peer's name for the log.
struct Connection {
  beast::tcp_stream stream;
  beast::flat_buffer buffer;
  ConnectionPlace place;
  std::string peer;
};

// What an answer repeats of its request, and what its log line names.
struct Exchange {
  std::string method;  // as it may go into the log (ForLog)
  std::string path;
  unsigned version = 11;
  // Whether the connection serves another request after this answer: not
  // when the page asked otherwise, nor when a body was left unread.
  bool keepAlive = false;
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

std::string_view PathOf(std::string_view target) { return target.substr(0, target.find('?')); }

std::string HeaderValue(const std::vector<HttpHeader>& headers, std::string_view name) {
  for (const HttpHeader& header : headers) {
    if (header.name == name) return header.value;
  }
  return {};
}

void LogAnswer(const Shared& shared, const std::string& peer, const Exchange& exchange, http::status status,
               std::string_view reason) {
  shared.Log(peer + " " + exchange.method + " " + exchange.path + " " + std::to_string(static_cast<unsigned>(status)) +
             " " + std::string(reason));
}

// A small answer: the gate's headers, a JSON body or none; logged.
http::response<http::string_body> MakeAnswer(const Shared& shared, const std::string& peer, const Exchange& exchange,
                                             http::status status, const std::vector<HttpHeader>& headers,
                                             std::string_view reason, std::string json = {}) {
  LogAnswer(shared, peer, exchange, status, reason);
  http::response<http::string_body> response(status, exchange.version);
  for (const HttpHeader& header : headers) response.set(header.name, header.value);
  if (!json.empty()) response.set(http::field::content_type, "application/json");
  response.body() = std::move(json);
  response.keep_alive(exchange.keepAlive);
  response.prepare_payload();
  return response;
}

void CloseStream(beast::tcp_stream& stream) {
  beast::error_code ignored;
  stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream.close();
}

// With the HTTP session in desk_server.cpp: the connection reads its next request.
void ReadNextRequest(Connection connection, Shared& shared);

}  // namespace
}  // namespace bidder::desk
