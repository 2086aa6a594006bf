#pragma once
// One request of a page as a method sees it, and the way to answer it: at
// once (the method returns the answer) or later, from another thread, through
// a Reply that keeps the request's id.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "desk/blobs/blob_store.h"
#include "desk/methods/desk_services.h"
#include "desk/rpc/errors.h"
#include "desk/rpc/request.h"
#include "desk/rpc/value.h"
#include "desk/server/backend.h"

namespace bidder::desk {

// The page's session: who asks, and the way back to it.
struct PageSession {
  std::uint64_t number = 0;  // in the session directory
  std::string origin;
  std::string key;
  std::shared_ptr<SessionChannel> channel;

  BlobOwner Owner() const { return {origin, key}; }
};

// An answer still to give; copyable, so that it can travel to a thread.
class Reply {
 public:
  Reply(rpc::RequestId id, std::shared_ptr<SessionChannel> channel) : id_(std::move(id)), channel_(std::move(channel)) {}
  void Result(const rpc::Value& result) const;
  void Error(const rpc::Failure& failure) const;

 private:
  rpc::RequestId id_;
  std::shared_ptr<SessionChannel> channel_;
};

struct Call {
  DeskServices& services;
  const std::shared_ptr<const PageSession>& session;
  rpc::RequestId id;
  rpc::Params& params;

  std::string Result(const rpc::Value& result) const;
  std::string Error(const rpc::Failure& failure) const;
  std::string Error(rpc::ErrorReason reason) const { return Error(rpc::FailureOf(reason)); }
  // The bad-request answer for the first parameter that was wrong.
  std::string ParamsError() const { return Error(*params.failure()); }
  Reply Later() const { return Reply(id, session->channel); }
};

// What a method gives back: the answer now, or nothing when a Reply will.
using Answer = std::optional<std::string>;
inline const Answer kAnswerLater = std::nullopt;

}  // namespace bidder::desk
