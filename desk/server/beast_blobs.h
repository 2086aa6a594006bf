#pragma once
// A part of desk_server.cpp's translation unit (see beast_connection.h):
// blobs through HTTP. POST /v1/blobs streams the body into the store's file
// and GET /v1/blobs/<id> streams the file out, a piece at a time through
// Beast's file_body, so that no blob is ever held in memory. Each transfer
// takes the connection from the HTTP session once the gate and the session
// key have passed, and gives it back for the next request.
#include <boost/beast/http/file_body.hpp>
#include <filesystem>
#include <optional>
#include <string>

#include "desk/blobs/blob_store.h"
#include "desk/server/beast_connection.h"

namespace bidder::desk {
namespace {

// A path as Beast's file body takes it: UTF-8, which its Windows file turns
// into the wide name (the ANSI code page cannot name every user's folder),
// and the bytes themselves on POSIX.
std::string FileBodyPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The page behind a blob request: its key must name an open WebSocket
// session of the same origin. The gate has judged the origin already.
std::optional<BlobOwner> BlobOwnerOf(const Shared& shared, const GateDecision& decision) {
  std::string origin = HeaderValue(decision.headers, "Access-Control-Allow-Origin");
  const auto session = shared.openSessions.find(decision.sessionKey);
  if (origin.empty() || session == shared.openSessions.end() || session->second != origin) return std::nullopt;
  return BlobOwner{std::move(origin), decision.sessionKey};
}

// What both directions share: the connection, the request's particulars and
// small answers.
class BlobTransfer : public std::enable_shared_from_this<BlobTransfer> {
 public:
  BlobTransfer(Connection connection, Shared& shared, Exchange exchange, BlobOwner owner,
               std::vector<HttpHeader> headers)
      : connection_(std::move(connection)),
        shared_(shared),
        exchange_(std::move(exchange)),
        owner_(std::move(owner)),
        headers_(std::move(headers)) {}
  virtual ~BlobTransfer() = default;
  BlobTransfer(const BlobTransfer&) = delete;
  BlobTransfer& operator=(const BlobTransfer&) = delete;

 protected:
  template <class Derived>
  std::shared_ptr<Derived> Self() {
    return std::static_pointer_cast<Derived>(shared_from_this());
  }

  BlobStore& Store() { return shared_.backend.Blobs(); }

  // A blob ends with its session, and so does its transfer.
  bool SessionIsOpen() const { return shared_.openSessions.contains(owner_.sessionKey); }

  void Answer(http::status status, std::string_view reason, std::string json = {}) {
    answer_ = MakeAnswer(shared_, connection_.peer, exchange_, status, headers_, reason, std::move(json));
    connection_.stream.expires_after(shared_.config.limits.writeTime);
    http::async_write(connection_.stream, answer_, beast::bind_front_handler(&BlobTransfer::Continue, shared_from_this()));
  }

  // After the answer: the next request, or the end of the connection.
  void Continue(beast::error_code ec, std::size_t = 0) {
    if (ec || !exchange_.keepAlive) return CloseStream(connection_.stream);
    ReadNextRequest(std::move(connection_), shared_);
  }

  void BrokenOff(std::string_view why) {
    shared_.Log(connection_.peer + " " + exchange_.method + " " + exchange_.path + " broken off: " + std::string(why));
    CloseStream(connection_.stream);
  }

  Connection connection_;
  Shared& shared_;
  Exchange exchange_;
  BlobOwner owner_;
  std::vector<HttpHeader> headers_;
  http::response<http::string_body> answer_;
};

class BlobUpload final : public BlobTransfer {
 public:
  using BlobTransfer::BlobTransfer;
  ~BlobUpload() override { Abandon(); }

  void Start(http::request_parser<http::empty_body>&& head) {
    requestKeepAlive_ = head.get().keep_alive();
    const bool expectsContinue = beast::iequals(head.get()[http::field::expect], "100-continue");
    const auto length = head.content_length();
    if (!length) return Answer(http::status::length_required, "no length");
    rpc::Failure failure;
    upload_ = Store().BeginUpload(owner_, *length, &failure);
    if (!upload_) {
      switch (failure.reason) {
        case rpc::ErrorReason::kTooLarge:
          return Answer(http::status::payload_too_large, "too large");
        case rpc::ErrorReason::kDiskFull:
          return Answer(http::status::insufficient_storage, "disk full");
        default:
          return Answer(http::status::internal_server_error, "no room for the blob");
      }
    }
    parser_.emplace(std::move(head));
    parser_->body_limit(*length);
    beast::error_code ec;
    parser_->get().body().open(FileBodyPath(upload_->path).c_str(), beast::file_mode::write_new, ec);
    if (ec) {
      Abandon();
      return Answer(http::status::internal_server_error, "cannot write the blob: " + ec.message());
    }
    if (!expectsContinue || parser_->is_done()) return ReadBody();
    continue_ = http::response<http::empty_body>(http::status::continue_, exchange_.version);
    connection_.stream.expires_after(shared_.config.limits.writeTime);
    http::async_write(connection_.stream, continue_, [self = Self<BlobUpload>()](beast::error_code written, std::size_t) {
      if (written) return self->Fail(written);
      self->ReadBody();
    });
  }

 private:
  void ReadBody() {
    if (parser_->is_done()) return Finish();
    connection_.stream.expires_after(shared_.config.limits.bodyPause);
    http::async_read_some(connection_.stream, connection_.buffer, *parser_,
                          beast::bind_front_handler(&BlobUpload::OnBody, Self<BlobUpload>()));
  }

  void OnBody(beast::error_code ec, std::size_t) {
    if (ec) return Fail(ec);
    if (!SessionIsOpen()) {
      Abandon();
      return BrokenOff("the session ended");
    }
    ReadBody();
  }

  void Fail(beast::error_code ec) {
    Abandon();
    BrokenOff(ec.message());
  }

  // Runs in a completion handler: nothing may escape into the server's loop.
  void Finish() {
    try {
      parser_.reset();  // the file is closed before the store looks at it
      const std::optional<BlobRef> ref = Store().FinishUpload(*upload_, true);
      upload_.reset();
      exchange_.keepAlive = requestKeepAlive_;
      if (!ref) return Answer(http::status::internal_server_error, "the blob was not kept");
      Answer(http::status::created, "blob",
             R"({"blob":")" + ref->url + R"(","size":)" + std::to_string(ref->size) + "}");
    } catch (const std::exception& e) {
      Abandon();
      BrokenOff(e.what());
    }
  }

  // The file goes unless the whole body has arrived and been handed over.
  void Abandon() noexcept {
    parser_.reset();
    if (!upload_) return;
    try {
      Store().FinishUpload(*upload_, false);
    } catch (...) {
      // Out of memory at most: the file stays until the work directory is emptied.
    }
    upload_.reset();
  }

  bool requestKeepAlive_ = false;
  std::optional<BlobStore::Upload> upload_;
  std::optional<http::request_parser<http::file_body>> parser_;
  http::response<http::empty_body> continue_;
};

class BlobDownload final : public BlobTransfer {
 public:
  using BlobTransfer::BlobTransfer;

  void Start(std::string_view id) {
    const std::optional<BlobStore::Download> found = Store().FindDownload(owner_, id);
    if (!found) return Answer(http::status::not_found, "no such blob");
    response_.emplace(http::status::ok, exchange_.version);
    beast::error_code ec;
    response_->body().open(FileBodyPath(found->path).c_str(), beast::file_mode::scan, ec);
    if (ec) {
      response_.reset();
      return Answer(http::status::not_found, "the blob's file is gone");
    }
    for (const HttpHeader& header : headers_) response_->set(header.name, header.value);
    response_->set(http::field::content_type, found->type.empty() ? "application/octet-stream" : found->type);
    response_->keep_alive(exchange_.keepAlive);
    response_->prepare_payload();
    id_ = found->id;
    LogAnswer(shared_, connection_.peer, exchange_, http::status::ok, "blob");
    serializer_.emplace(*response_);
    WriteSome();
  }

 private:
  // A piece at a time, each with its own time limit: a large blob to a slow
  // page takes as long as it takes, a page that stopped reading does not.
  void WriteSome() {
    connection_.stream.expires_after(shared_.config.limits.writeTime);
    http::async_write_some(connection_.stream, *serializer_,
                           beast::bind_front_handler(&BlobDownload::OnWritten, Self<BlobDownload>()));
  }

  void OnWritten(beast::error_code ec, std::size_t) {
    if (ec) return BrokenOff(ec.message());
    if (!SessionIsOpen()) return BrokenOff("the session ended");
    if (!serializer_->is_done()) return WriteSome();
    serializer_.reset();
    response_.reset();
    try {
      Store().Downloaded(id_);
    } catch (const std::exception& e) {
      shared_.Log(connection_.peer + " " + exchange_.method + " " + exchange_.path + " downloaded, then: " + e.what());
    }
    Continue({});
  }

  std::string id_;
  std::optional<http::response<http::file_body>> response_;
  std::optional<http::response_serializer<http::file_body>> serializer_;
};

}  // namespace
}  // namespace bidder::desk
