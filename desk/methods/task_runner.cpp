#include "desk/methods/task_runner.h"

namespace bidder::desk {

TaskRunner::TaskRunner(unsigned threads) {
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

TaskRunner::~TaskRunner() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    tasks_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void TaskRunner::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void TaskRunner::Work() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task();
    } catch (...) {
      // A task answers its own page; one that failed past that has nobody to tell.
    }
  }
}

}  // namespace bidder::desk
