#pragma once
// A manual-reset event: set() wakes every waiter and stays set until reset().
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tolvik {

class ManualResetEvent {
 public:
  void set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      signalled_ = true;
    }
    cv_.notify_all();
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
  }
  // True when the event was set within the time.
  bool waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return signalled_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
};

}  // namespace tolvik
