#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "desk/service/stop_signals.h"

namespace bidder::desk {
namespace {

// The handler is a plain function that the system calls on a thread of its
// own: what it needs lives here, guarded, for the one StopSignals a process has.
struct ControlState {
  std::mutex mutex;
  std::condition_variable finished;
  std::function<void()> stop;
  std::atomic<int>* caught = nullptr;
  bool ignoring = false;
  bool done = false;
};

ControlState& State() {
  static ControlState state;
  return state;
}

BOOL WINAPI OnControlEvent(DWORD event) noexcept {
  ControlState& state = State();
  std::unique_lock lock(state.mutex);
  if (state.caught && *state.caught == 0) *state.caught = static_cast<int>(event) + 1;
  std::function<void()> stop;
  if (!state.ignoring) stop = std::exchange(state.stop, {});
  if (stop) {
    lock.unlock();
    try {
      stop();
    } catch (...) {
      // Nothing may leave a system callback; the server stops all the same
      // when the program ends.
    }
    lock.lock();
  }
  // For these the process ends when the handler returns: wait (within the
  // system's grace time) until the work directory has been emptied.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    state.finished.wait_for(lock, std::chrono::milliseconds(4500), [&state] { return state.done; });
  }
  return TRUE;
}

}  // namespace

StopSignals::StopSignals() {
  ControlState& state = State();
  {
    std::lock_guard lock(state.mutex);
    state.caught = &caught_;
    state.ignoring = false;
    state.done = false;
  }
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

StopSignals::~StopSignals() {
  Ignore();
  ControlState& state = State();
  {
    std::lock_guard lock(state.mutex);
    state.done = true;
    state.caught = nullptr;
  }
  state.finished.notify_all();
}

void StopSignals::Watch(std::function<void()> stop) {
  ControlState& state = State();
  std::unique_lock lock(state.mutex);
  if (caught_ != 0) {
    lock.unlock();
    stop();
    return;
  }
  state.stop = std::move(stop);
}

// The handler stays installed: a second Ctrl+C while the work directory is
// emptied is swallowed instead of ending the process halfway.
void StopSignals::Ignore() {
  ignoring_ = true;
  ControlState& state = State();
  std::lock_guard lock(state.mutex);
  state.ignoring = true;
  state.stop = nullptr;
}

std::string StopSignals::Describe() const {
  const int caught = caught_;
  return caught ? "console event " + std::to_string(caught - 1) : std::string();
}

}  // namespace bidder::desk
