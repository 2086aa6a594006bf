#pragma once
// The service's answer to a page's message while it knows no methods yet:
// every request is told its method is unknown. The JSON-RPC layer takes
// this function's place.
#include <string>
#include <string_view>

namespace bidder::desk {

// A JSON-RPC 2.0 error -32601 for a request, carrying its id (null when the
// text is no JSON object with an id); nothing for a notification (an object
// with a method and no id), which JSON-RPC never answers.
std::string AnswerUnknownMethod(std::string_view message);

}  // namespace bidder::desk
