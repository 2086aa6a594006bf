#pragma once
// A page's conversation with the service, one WebSocket text message at a
// time: requests are read by the JSON-RPC layer (desk/rpc) and answered;
// messages that are no request get the error that says why. No method is
// served yet, so every well-formed request is told its method is unknown.
#include <string>
#include <string_view>

namespace bidder::desk {

// The answer to one message; empty for a notification (a well-formed
// message without an id), which JSON-RPC never answers.
std::string AnswerMessage(std::string_view message);

}  // namespace bidder::desk
