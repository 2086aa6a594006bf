#include "desk/methods/call.h"

#include "desk/rpc/response.h"

namespace bidder::desk {

void Reply::Result(const rpc::Value& result) const { channel_->Send(rpc::WriteResult(id_, result)); }
void Reply::Error(const rpc::Failure& failure) const { channel_->Send(rpc::WriteError(id_, failure)); }

std::string Call::Result(const rpc::Value& result) const { return rpc::WriteResult(id, result); }
std::string Call::Error(const rpc::Failure& failure) const { return rpc::WriteError(id, failure); }

}  // namespace bidder::desk
