#include "plugins/rprop/worker_pool.h"

#include <system_error>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// About 0.3 ms of pause instructions: longer than a step or the gap between two runs of a
// training, far shorter than a pause in training.
constexpr int kSpinRounds = 1 << 14;

inline void pauseBriefly() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Spins until done() holds or the rounds run out; returns done().
template <class Done>
bool spinUntil(const Done& done) {
  for (int round = 0; round < kSpinRounds; ++round) {
    if (done()) return true;
    pauseBriefly();
  }
  return done();
}

}  // namespace

WorkerPool::WorkerPool(int size) {
  for (int part = 1; part < size; ++part) {
    try {
      threads_.emplace_back(&WorkerPool::loop, this, part);
    } catch (const std::system_error&) {
      break;  // run with the threads there are
    }
  }
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_.store(true, std::memory_order_release);
  }
  start_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::run(const std::function<void(int)>& task) {
  if (threads_.empty()) {
    task(0);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    task_ = &task;
    pending_.store(static_cast<int>(threads_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
  }
  start_.notify_all();
  task(0);
  const auto finished = [&] { return pending_.load(std::memory_order_acquire) == 0; };
  if (!spinUntil(finished)) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, finished);
  }
  std::lock_guard lock(mutex_);
  task_ = nullptr;
}

void WorkerPool::loop(int part) {
  std::uint64_t seen = 0;
  const auto called = [&] {
    return stopping_.load(std::memory_order_acquire) || generation_.load(std::memory_order_acquire) != seen;
  };
  for (;;) {
    const std::function<void(int)>* task = nullptr;
    spinUntil(called);
    {
      std::unique_lock lock(mutex_);
      start_.wait(lock, called);
      if (stopping_.load(std::memory_order_relaxed)) return;
      seen = generation_.load(std::memory_order_relaxed);
      task = task_;
    }
    (*task)(part);
    if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      // Under the lock, so that a caller about to sleep on done_ cannot miss the call.
      std::lock_guard lock(mutex_);
      done_.notify_one();
    }
  }
}

void SpinBarrier::arriveAndWait() {
  const std::uint32_t generation = generation_.load(std::memory_order_acquire);
  if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == parts_) {
    arrived_.store(0, std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    return;
  }
  const auto passed = [&] { return generation_.load(std::memory_order_acquire) != generation; };
  while (!spinUntil(passed)) std::this_thread::yield();
}
