#include "desk/service/options.h"

#include <string_view>

#include "desk/access/ascii_text.h"

namespace bidder::desk {
namespace {

std::optional<std::uint16_t> ParsePort(std::string_view text, std::uint32_t highest) {
  const std::optional<std::uint32_t> value = ParseDecimal(text);
  if (!value || *value == 0 || *value > highest) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ServiceOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--trust-unknown-peers") {
      options.trustUnknownPeers = true;
      continue;
    }
    std::string_view name = arg;
    std::optional<std::string> value;
    if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = std::string(arg.substr(equals + 1));
    }
    const bool takesValue =
        name == "--port" || name == "--first-port" || name == "--allow-origin" || name == "--work-dir" || name == "--log" ||
                            name == "--stop-file";
    if (!takesValue) return {std::nullopt, "unknown option " + std::string(arg)};
    if (!value) {
      if (i + 1 == args.size()) return {std::nullopt, std::string(name) + " needs a value"};
      value = args[++i];
    }
    if (name == "--port") {
      options.port = ParsePort(*value, 65535);
      if (!options.port) return {std::nullopt, "--port needs a port number (1-65535), not " + *value};
    } else if (name == "--first-port") {
      options.firstPort = ParsePort(*value, 65535 - (kServicePortCount - 1));
      if (!options.firstPort) return {std::nullopt, "--first-port needs a port number (1-65526), not " + *value};
    } else if (name == "--allow-origin") {
      options.allowOrigins.push_back(*value);
    } else if (value->empty()) {
      return {std::nullopt, std::string(name) + " needs a value"};
    } else if (name == "--work-dir") {
      options.workDir = *value;
    } else if (name == "--stop-file") {
      options.stopFile = *value;
    } else {
      options.logFile = *value;
    }
  }
  if (options.port && options.firstPort) return {std::nullopt, "--port and --first-port exclude each other"};
  return {std::move(options), {}};
}

std::vector<std::uint16_t> CandidatePorts(const ServiceOptions& options) {
  if (options.port) return {*options.port};
  const std::uint16_t first = options.firstPort.value_or(kFirstServicePort);
  std::vector<std::uint16_t> ports;
  for (std::uint16_t i = 0; i < kServicePortCount; ++i) ports.push_back(static_cast<std::uint16_t>(first + i));
  return ports;
}

std::string UsageText() {
#ifdef _WIN32
  return R"(usage: BidderDesk [options]

The desk service: scanning and encryption for the tendering platform's pages
in any browser, on this machine's loopback interface, for this user only.

  --port N              listen on port N only (default: the first free one of 47380-47389)
  --first-port N        try N to N+9 instead of 47380-47389
  --allow-origin ORIGIN allow the pages of ORIGIN (repeatable), besides the lists in
                        %ProgramData%\BidderDesk\origins.txt and %APPDATA%\BidderDesk\origins.txt
  --work-dir DIR        the service's own work directory, emptied at start and exit
                        (default %LOCALAPPDATA%\BidderDesk\work)
  --log FILE            append the log to FILE instead of standard error
  --stop-file FILE      stop (and empty the work directory) once FILE exists
  --trust-unknown-peers serve connections whose owner the system cannot name (tests only)
  --help                this text

Exit status: 0 stopped by Ctrl+C, Ctrl+Break, closing the console or the stop
file, 1 failure, 2 bad command line, 3 every port taken, 4 another instance
runs for this work directory.
)";
#else
  return R"(usage: bidder-desk [options]

The desk service: scanning and encryption for the tendering platform's pages
in any browser, on this machine's loopback interface, for this user only.

  --port N              listen on port N only (default: the first free one of 47380-47389)
  --first-port N        try N to N+9 instead of 47380-47389
  --allow-origin ORIGIN allow the pages of ORIGIN (repeatable), besides the lists in
                        /etc/bidder-desk/origins and ${XDG_CONFIG_HOME:-~/.config}/bidder-desk/origins
  --work-dir DIR        the service's own work directory, emptied at start and exit
                        (default ${XDG_CACHE_HOME:-~/.cache}/bidder-desk)
  --log FILE            append the log to FILE instead of standard error
  --stop-file FILE      stop (and empty the work directory) once FILE exists
  --trust-unknown-peers serve connections whose owner the system cannot name (tests only)
  --help                this text

Exit status: 0 stopped by SIGTERM, SIGINT or the stop file, 1 failure, 2 bad
command line, 3 every port taken, 4 another instance runs for this work directory.
)";
#endif
}

}  // namespace bidder::desk
