// A fixed-capacity single-producer single-consumer ring, lock-free and allocation-free after
// construction. One thread pushes, one other thread pops; neither ever blocks.
//
// The indices count every item ever pushed and popped (64 bits never wrap in practice), so the
// consumer's index doubles as a clock the producer can wait on: once Popped() has reached the
// value Pushed() had just after an item went in, the consumer has taken that item.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

template <typename T>
class SpscRing {
 public:
  // `capacity` is rounded up to a power of two.
  explicit SpscRing(size_t capacity) : slots_(RoundUp(capacity)), mask_(slots_.size() - 1) {}

  size_t Capacity() const { return slots_.size(); }

  // Producer side. False when the ring is full.
  bool TryPush(const T& item) {
    const uint64_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - cached_head_ == slots_.size()) {
      cached_head_ = head_.load(std::memory_order_acquire);
      if (tail - cached_head_ == slots_.size()) return false;
    }
    slots_[tail & mask_] = item;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer side. False when the ring is empty.
  bool TryPop(T& item) {
    const uint64_t head = head_.load(std::memory_order_relaxed);
    if (head == cached_tail_) {
      cached_tail_ = tail_.load(std::memory_order_acquire);
      if (head == cached_tail_) return false;
    }
    item = slots_[head & mask_];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

  // Items pushed so far (exact on the producer's thread).
  uint64_t Pushed() const { return tail_.load(std::memory_order_acquire); }
  // Items popped so far.
  uint64_t Popped() const { return head_.load(std::memory_order_acquire); }

 private:
  static size_t RoundUp(size_t n) {
    size_t p = 1;
    while (p < n)
      p <<= 1;
    return p;
  }

  std::vector<T> slots_;
  const size_t mask_;
  alignas(64) std::atomic<uint64_t> head_{0};  // written by the consumer
  uint64_t cached_tail_ = 0;                   // consumer's copy of tail_
  alignas(64) std::atomic<uint64_t> tail_{0};  // written by the producer
  uint64_t cached_head_ = 0;                   // producer's copy of head_
};

}  // namespace quillon
