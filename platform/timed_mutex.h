// A mutex whose lock can give up after a time-out (the log's 5000 ms wait,
// the provider map's 60 s wait). Built on a condition variable rather than
// std::timed_mutex, whose timed lock the thread sanitizer of our compiler
// does not see (it then reports every unlock as an unlock of a free mutex).
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class TimedMutex {
 public:
  // True when the lock was taken within `wait`.
  bool try_lock_for(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> guard(mutex_);
    if (!released_.wait_for(guard, wait, [this] { return !locked_; })) return false;
    locked_ = true;
    return true;
  }
  void lock() {
    std::unique_lock<std::mutex> guard(mutex_);
    released_.wait(guard, [this] { return !locked_; });
    locked_ = true;
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      locked_ = false;
    }
    released_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool locked_ = false;
};

}  // namespace platform
