#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of threads that run one task together: run(task) calls task(0) on the calling
// thread and task(1) … task(size − 1) on the pool's threads, and returns once every call has
// returned. Not reentrant; one caller at a time.
//
// Runs come back to back while a network trains, each a millisecond or less, and waking a
// sleeping thread costs tens of microseconds (more on a virtual machine): so the threads, and
// the caller waiting for them, first spin for a short while and only then sleep.
class WorkerPool {
 public:
  // size ≥ 1 parts; size − 1 threads are started (fewer when the system refuses more, in which
  // case size() says how many parts a run has).
  explicit WorkerPool(int size);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int size() const { return static_cast<int>(threads_.size()) + 1; }
  void run(const std::function<void(int part)>& task);

 private:
  void loop(int part);

  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  const std::function<void(int)>* task_ = nullptr;
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<int> pending_{0};
  std::atomic<bool> stopping_{false};
};

// A barrier for the steps of one run, each a few tens of microseconds long: the parts that
// arrive first spin (with the processor's pause hint) rather than sleep, and yield their
// processor after a while so that a machine with more parts than processors still moves.
class SpinBarrier {
 public:
  explicit SpinBarrier(int parts) : parts_(parts) {}
  SpinBarrier(const SpinBarrier&) = delete;
  SpinBarrier& operator=(const SpinBarrier&) = delete;

  // Returns once all parts have arrived; what each part wrote before is visible to all after.
  void arriveAndWait();

 private:
  const int parts_;
  std::atomic<int> arrived_{0};
  std::atomic<std::uint32_t> generation_{0};
};
