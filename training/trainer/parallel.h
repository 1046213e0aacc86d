// Work spread over threads without changing what is computed: each index is
// processed exactly once, results go to per-index places, and whoever
// combines them does so in index order.
#pragma once

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kws::trainer {

// Calls work(index) for index 0..count-1 on up to jobs threads.
template <typename Work>
void parallel_for(int count, int jobs, Work&& work) {
  const int threads = std::max(1, std::min(jobs, count));
  std::atomic<int> next{0};
  std::exception_ptr failure;
  std::mutex failure_lock;
  auto run = [&] {
    try {
      for (int i = next++; i < count; i = next++) work(i);
    } catch (...) {
      const std::lock_guard lock(failure_lock);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(run);
  run();
  for (std::thread& thread : pool) thread.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kws::trainer
