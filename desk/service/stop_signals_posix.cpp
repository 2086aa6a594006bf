#include "desk/service/stop_signals.h"

#include <signal.h>
#include <time.h>

namespace bidder::desk {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  return set;
}

}  // namespace

StopSignals::StopSignals() {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopSignals::~StopSignals() { Ignore(); }

void StopSignals::Watch(std::function<void()> stop) {
  watcher_ = std::thread([this, stop = std::move(stop)] {
    const sigset_t set = StopSet();
    // A short wait, so that Ignore() is seen without a signal of its own.
    const timespec pause{0, 200 * 1000 * 1000};
    while (!ignoring_) {
      const int number = sigtimedwait(&set, nullptr, &pause);
      if (number > 0) {
        caught_ = number;
        stop();
        return;
      }
    }
  });
}

std::string StopSignals::Describe() const {
  const int caught = caught_;
  return caught ? "signal " + std::to_string(caught) : std::string();
}

void StopSignals::Ignore() {
  ignoring_ = true;
  if (watcher_.joinable()) watcher_.join();
}

}  // namespace bidder::desk
