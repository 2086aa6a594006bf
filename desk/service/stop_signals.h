#pragma once
// The system's requests to stop the whole service. POSIX: SIGTERM and SIGINT. They are blocked in every
// thread from the first moment (threads made later inherit the mask, a
// scanner driver's included) and taken by one thread of their own with
// sigwait, never by a handler: SANE's backends install their own SIGTERM
// handler for their reader threads, which would otherwise replace ours, and
// a signal before the server runs, or a second one while the service empties
// its work directory, must not end the process with its files left behind.
// Windows: the console's control events (Ctrl+C, Ctrl+Break, the console
// closed, logoff, shutdown), taken by a handler that only asks the server to
// stop; for the last three the handler holds the process until the service
// has emptied its work directory, since Windows ends it when the handler
// returns.
#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace bidder::desk {

class StopSignals {
 public:
  StopSignals();  // call before any thread starts
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Calls `stop` once, from the watching thread, at the first signal
  // (at once if one came before).
  void Watch(std::function<void()> stop);
  // Stops watching; later signals stay blocked and die with the process.
  void Ignore();
  // Nonzero once a request came: the signal's number, or the console
  // event's number plus one.
  int Caught() const { return caught_; }
  // What came, for the log ("signal 15", "console event 0"); empty if nothing.
  std::string Describe() const;

 private:
  std::atomic<bool> ignoring_{false};
  std::atomic<int> caught_{0};
  std::thread watcher_;
};

}  // namespace bidder::desk
