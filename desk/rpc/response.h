#pragma once
// What the service sends on a session: answers to requests and its own
// notifications, each one WebSocket text message of compact UTF-8 JSON.
// Chinese text stays UTF-8 (no \u escapes); bytes in the service's strings
// that are not UTF-8 become U+FFFD rather than breaking the message.
#include <string>
#include <string_view>

#include "desk/rpc/errors.h"
#include "desk/rpc/request.h"
#include "desk/rpc/value.h"

namespace bidder::desk::rpc {

// The service's notifications (no id).
inline constexpr std::string_view kSessionReady = "session.ready";
inline constexpr std::string_view kScanPage = "scan.page";
inline constexpr std::string_view kScanStatus = "scan.status";
inline constexpr std::string_view kDocumentChanged = "document.changed";

// {"jsonrpc":"2.0","id":…,"result":…}; object members keep the order given.
std::string WriteResult(const RequestId& id, const Value& result);

// {"jsonrpc":"2.0","id":…,"error":{"code":…,"message":"…","data":{"reason":"…"}}},
// with "field" in data where the failure names one.
std::string WriteError(const RequestId& id, const Failure& failure);
std::string WriteError(const RequestError& error);

// {"jsonrpc":"2.0","method":…,"params":…}; params is an object.
std::string WriteNotification(std::string_view method, const Value& params);

}  // namespace bidder::desk::rpc
