// An event that wakes exactly one waiter and then resets itself.
//
// Threads of the station hand work to each other with such events and wait
// without time-out, so every path of a thread that someone waits on, the
// failure paths included, must end by setting the event.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kws {

class AutoResetEvent {
 public:
  // Signals the event; a waiter (present or next) is released once.
  // Notifies under the lock: a waiter whose event lives on its stack may
  // return and destroy it as soon as the lock is free.
  void set() {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    condition_.notify_one();
  }

  // Blocks until the event is signalled, then resets it.
  void wait() {
    std::unique_lock lock(mutex_);
    condition_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
  }

  // As wait(), giving up after timeout; true when the event was signalled.
  template <typename Rep, typename Period>
  bool wait_for(std::chrono::duration<Rep, Period> timeout) {
    std::unique_lock lock(mutex_);
    if (!condition_.wait_for(lock, timeout, [this] { return signalled_; })) return false;
    signalled_ = false;
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool signalled_ = false;
};

}  // namespace kws
