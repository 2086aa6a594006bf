#pragma once
// The threads that do a page's slow work (binding a PDF, sealing a file,
// asking the scanners), so that the server's thread keeps serving every
// other page and every blob meanwhile. Tasks run in the order given, on a
// few threads; the destructor waits for the running ones and drops the
// rest, so nothing outlives the service's state.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace bidder::desk {

class TaskRunner {
 public:
  explicit TaskRunner(unsigned threads);
  ~TaskRunner();
  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;

  // `task` must not throw past itself; one that does is dropped silently.
  void Post(std::function<void()> task);

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace bidder::desk
