#pragma once
// A part of desk_server.cpp's translation unit (see beast_connection.h): a
// page's WebSocket session once it has upgraded, and the way back to it
// from other threads.
#include <boost/asio/post.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <memory>

#include "desk/server/beast_connection.h"
#include "random/random_hex.h"

namespace bidder::desk {
namespace {

namespace websocket = beast::websocket;

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
  ~WebSocketSession() { End(); }
  WebSocketSession(const WebSocketSession&) = delete;
  WebSocketSession& operator=(const WebSocketSession&) = delete;

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
      shared_.openSessions.emplace(context_.sessionKey, context_.origin);
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
      return End();
    }
    if (closing_) return;
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
    if (!closing_) ReadNext();
  }

  void WriteFront() {
    socket_.text(true);
    socket_.async_write(asio::buffer(outgoing_.front()),
                        beast::bind_front_handler(&WebSocketSession::OnWritten, shared_from_this()));
  }

  void OnWritten(beast::error_code ec, std::size_t) {
    if (ec) return End();  // the read side sees the same end and logs it
    outgoing_.pop_front();
    if (!outgoing_.empty() && !closing_) WriteFront();
  }

  void Close(websocket::close_code code) {
    if (closing_) return;
    End();
    socket_.async_close(code, [self = shared_from_this()](beast::error_code) {});
  }

  // The session is over for the service the moment its end shows, whatever
  // of the connection is still to finish: the key opens no blob any more,
  // the session's blobs go, and the handler goes now, on this thread, so
  // that it can stop the session's work.
  void End() noexcept {
    if (ended_) return;
    ended_ = true;
    closing_ = true;
    if (context_.sessionKey.empty()) return;  // never opened
    shared_.openSessions.erase(context_.sessionKey);
    handler_.reset();
    try {
      shared_.backend.Blobs().EndSession(context_.sessionKey);
    } catch (...) {
      // Out of memory at most: the files stay until the work directory is emptied.
    }
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
  bool ended_ = false;
};

void QueuedChannel::Send(std::string text) {
  asio::post(executor_, [session = session_, text = std::move(text)]() mutable {
    if (auto open = session.lock()) open->Queue(std::move(text));
  });
}

}  // namespace
}  // namespace bidder::desk
