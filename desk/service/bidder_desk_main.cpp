// bidder-desk (Linux) and BidderDesk.exe (Windows): the command line, the
// work directory and its lock, the allow-list, then the server until
// SIGTERM or SIGINT (a console control event on Windows) or the stop file.
#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>

#include "text/codepage_win32.h"
#else
#include <signal.h>
#endif

#include <exception>
#include <memory>
#include <optional>
#include <iostream>
#include <string>
#include <vector>

#include "desk/scan/scanner.h"
#include "random/random_hex.h"
#include "desk/server/server.h"
#include "desk/service/allowed_origins.h"
#include "desk/service/options.h"
#include "desk/service/same_user.h"
#include "desk/service/service_backend.h"
#include "desk/service/service_log.h"
#include "desk/service/stop_file.h"
#include "desk/service/stop_signals.h"
#include "desk/service/user_dirs.h"
#include "desk/service/work_dir.h"

namespace bidder::desk {
namespace {

int Serve(const ServiceOptions& options, ServiceLog& log) {
  StopSignals stopSignals;
  const LogLine logLine = [&log](std::string_view line) { log.Line(line); };
  const UserEnvironment environment = UserEnvironment::FromProcess();

  const std::string workPath = options.workDir.value_or(PlatformWorkDir(environment).value_or(std::string()));
  WorkDirStatus workStatus = WorkDirStatus::kRefused;
  std::string message;
  std::unique_ptr<WorkDir> workDir = WorkDir::Open(workPath, workStatus, message);
  if (!workDir) {
    std::cerr << "bidder-desk: " << message << "\n";
    log.Line(message);
    return workStatus == WorkDirStatus::kAlreadyRunning ? kExitAlreadyRunning : kExitFailure;
  }

  const OriginList origins = GatherOrigins(PlatformOriginListFiles(environment), options.allowOrigins, logLine);
  ServiceFacts facts;
  facts.version = BIDDER_DESK_VERSION;
  facts.instance = RandomHex(16);
  facts.blobBytes = kBlobBytesLimit;
  facts.workBytes = kWorkBytesLimit;
#ifdef _WIN32
  std::unique_ptr<ScannerBackend> scanners = OpenWindowsScanners();
#else
  std::unique_ptr<ScannerBackend> scanners = OpenSaneScanners();
#endif
  facts.scanners = static_cast<int>(scanners->List().size());
  ServiceBackend backend(std::move(facts), workDir->Folder(), std::move(scanners));

  ServerConfig config;
  config.ports = CandidatePorts(options);
  config.origins = &origins;
  config.peerCheck = SameUserCheck(options.trustUnknownPeers);
  config.log = logLine;
  OpenError error = OpenError::kNone;
  std::unique_ptr<DeskServer> server = DeskServer::Open(config, backend, error, message);
  if (!server) {
    std::cerr << "bidder-desk: " << message << "\n";
    log.Line(message);
    return error == OpenError::kPortsTaken ? kExitPortsTaken : kExitFailure;
  }
  log.Line("listening on port " + std::to_string(server->Port()) + ", work directory " + workDir->Path());
  stopSignals.Watch([&server] { server->Stop(); });
  StopFile stopFile;
  if (options.stopFile) stopFile.Watch(*options.stopFile, [&server] { server->Stop(); });
  server->Run();
  stopSignals.Ignore();
  stopFile.Ignore();
  const std::string signal = stopSignals.Describe();
  server.reset();
  if (!signal.empty()) {
    log.Line("stopped by " + signal);
  } else {
    log.Line(stopFile.Seen() ? "stopped by the stop file" : "stopped");
  }
  return kExitOk;
}

int Run(const std::vector<std::string>& args) {
  const ParsedOptions parsed = ParseOptions(args);
  if (!parsed.options) {
    std::cerr << "bidder-desk: " << parsed.error << "\n\n" << UsageText();
    return kExitUsage;
  }
  if (parsed.options->help) {
    std::cout << UsageText();
    return kExitOk;
  }
  std::unique_ptr<ServiceLog> log = std::make_unique<ServiceLog>();
  if (parsed.options->logFile) {
    log = ServiceLog::OpenFile(*parsed.options->logFile);
    if (!log) {
      std::cerr << "bidder-desk: cannot open the log " << *parsed.options->logFile << "\n";
      return kExitFailure;
    }
  }
  return Serve(*parsed.options, *log);
}

}  // namespace
}  // namespace bidder::desk

namespace {

#ifdef _WIN32
// The wide command line as UTF-8: the ANSI one cannot hold every folder's name.
std::optional<std::vector<std::string>> ProgramArguments(int, char**) {
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  if (!wide) return std::nullopt;
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    std::optional<std::string> utf8 = bidder::WideToCodePage(wide.get()[i], CP_UTF8);
    if (!utf8) return std::nullopt;
    args.push_back(std::move(*utf8));
  }
  return args;
}
#else
std::optional<std::vector<std::string>> ProgramArguments(int argc, char** argv) {
  // A log on a closed pipe must not end the service; a write there fails instead.
  signal(SIGPIPE, SIG_IGN);
  return std::vector<std::string>(argv + 1, argv + argc);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::optional<std::vector<std::string>> args = ProgramArguments(argc, argv);
    if (!args) {
      std::cerr << "bidder-desk: the command line is not valid Unicode\n";
      return bidder::desk::kExitUsage;
    }
    return bidder::desk::Run(*args);
  } catch (const std::exception& e) {
    std::cerr << "bidder-desk: " << e.what() << "\n";
    return bidder::desk::kExitFailure;
  }
}
