#pragma once
// The command line of bidder-desk.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bidder::desk {

inline constexpr std::uint16_t kFirstServicePort = 47380;
inline constexpr std::uint16_t kServicePortCount = 10;  // 47380 to 47389

// Exit statuses, stated in the usage text: a login script or a test can
// tell "already running" from "nowhere to listen".
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortsTaken = 3;
inline constexpr int kExitAlreadyRunning = 4;

struct ServiceOptions {
  bool help = false;
  std::optional<std::uint16_t> port;       // --port N: this port only
  std::optional<std::uint16_t> firstPort;  // --first-port N: N to N+9 instead of the usual range
  std::vector<std::string> allowOrigins;   // --allow-origin, repeatable
  std::optional<std::string> workDir;      // --work-dir
  std::optional<std::string> logFile;      // --log
  // --stop-file: the service stops as on SIGTERM once this file exists. The
  // Windows build's way to be stopped by a script (a console control event
  // cannot be sent to a process that shares no console with the sender).
  std::optional<std::string> stopFile;
  // --trust-unknown-peers: a connection whose owner the system cannot name is
  // served rather than closed. For tests where the platform cannot tell
  // (a Linux browser talking to the Windows service under Wine); a known
  // other user is refused all the same.
  bool trustUnknownPeers = false;
};

struct ParsedOptions {
  std::optional<ServiceOptions> options;
  std::string error;  // with no options: what is wrong, for the usage message
};

// The arguments after the program's name; "--name value" or "--name=value".
ParsedOptions ParseOptions(const std::vector<std::string>& args);

// The ports to try, in order.
std::vector<std::uint16_t> CandidatePorts(const ServiceOptions& options);

std::string UsageText();

}  // namespace bidder::desk
