#include "plugins/rprop/worker_pool.h"

#include <system_error>

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
    stopping_ = true;
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
    pending_ = static_cast<int>(threads_.size());
    ++generation_;
  }
  start_.notify_all();
  task(0);
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return pending_ == 0; });
  task_ = nullptr;
}

void WorkerPool::loop(int part) {
  std::uint64_t seen = 0;
  for (;;) {
    const std::function<void(int)>* task = nullptr;
    {
      std::unique_lock lock(mutex_);
      start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      task = task_;
    }
    (*task)(part);
    std::lock_guard lock(mutex_);
    if (--pending_ == 0) done_.notify_one();
  }
}
