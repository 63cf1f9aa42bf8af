#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of threads that run one task together: run(task) calls task(0) on the calling
// thread and task(1) … task(size − 1) on the pool's threads, and returns once every call has
// returned. The threads sleep between runs. Not reentrant; one caller at a time.
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
  std::uint64_t generation_ = 0;
  int pending_ = 0;
  bool stopping_ = false;
};
