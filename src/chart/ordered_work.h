// Work done on worker threads and taken in order on the calling thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillon {

// Runs work(0) .. work(n - 1) on a few worker threads, as soon as constructed. Take(i) waits for
// result i and hands it over; the caller takes results in any order it likes (file order). The
// destructor lets running items finish and joins the workers; items not started are skipped.
// `work` must not throw.
template <typename Result>
class OrderedWork {
 public:
  OrderedWork(size_t n, std::function<Result(size_t)> work) : work_(std::move(work)), results_(n) {
    const size_t threads = std::min<size_t>(n, std::max(1u, std::thread::hardware_concurrency()));
    for (size_t t = 0; t < threads; ++t)
      workers_.emplace_back([this] { Run(); });
  }
  ~OrderedWork() {
    cancelled_ = true;
    for (std::thread& worker : workers_)
      worker.join();
  }
  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  Result Take(size_t i) {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return results_[i].has_value(); });
    Result result = std::move(*results_[i]);
    return result;
  }

 private:
  void Run() {
    for (size_t i = next_++; i < results_.size() && !cancelled_; i = next_++) {
      Result result = work_(i);
      {
        std::lock_guard lock(mutex_);
        results_[i] = std::move(result);
      }
      ready_.notify_all();
    }
  }

  std::function<Result(size_t)> work_;
  std::vector<std::optional<Result>> results_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> cancelled_{false};
  std::vector<std::thread> workers_;
};

}  // namespace quillon
