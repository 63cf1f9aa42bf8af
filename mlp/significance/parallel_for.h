#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace significance {

// Number of threads to use for `tasks` independent tasks when `requested` were asked for
// (0: one per processor core); never more threads than tasks, at least one.
inline unsigned threadCount(unsigned requested, std::int64_t tasks) {
  unsigned threads = requested != 0 ? requested : std::thread::hardware_concurrency();
  if (threads == 0) threads = 1;
  if (tasks < static_cast<std::int64_t>(threads)) threads = tasks < 1 ? 1u : static_cast<unsigned>(tasks);
  return threads;
}

// Runs work(i) for i = 0 … count − 1 on `threads` threads, the calling thread included, and
// calls done(k) on the calling thread for k = 1 … count in order as tasks complete, so a
// progress display sees the same sequence whatever the thread count. Each task must write only
// its own results. The first exception a task throws stops the hand-out of further tasks and
// is rethrown here once every thread has finished.
template <class Work, class Done>
void parallelFor(std::int64_t count, unsigned threads, Work&& work, Done&& done) {
  std::atomic<std::int64_t> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  std::int64_t finished = 0;   // guarded by mutex
  std::exception_ptr failure;  // guarded by mutex

  // Runs one task if any is left; false when none was.
  auto runOne = [&]() {
    const std::int64_t i = next.fetch_add(1);
    if (i >= count) return false;
    std::exception_ptr thrown;
    try {
      work(i);
    } catch (...) {
      thrown = std::current_exception();
      next.store(count);  // hand out nothing more
    }
    {
      std::lock_guard lock(mutex);
      if (thrown && !failure) failure = thrown;
      ++finished;
    }
    changed.notify_all();
    return true;
  };

  // Joins the workers on every way out, also when `done` throws.
  struct Workers {
    std::atomic<std::int64_t>& next;
    std::int64_t count;
    std::vector<std::thread> threads;
    ~Workers() {
      next.store(count);
      for (std::thread& t : threads) t.join();
    }
  } workers{next, count, {}};
  for (unsigned t = 1; t < threads; ++t) {
    workers.threads.emplace_back([&] {
      while (runOne()) {
      }
    });
  }

  std::int64_t reported = 0;
  bool failed = false;
  // Reports every completion up to now; returns false once a task has failed.
  auto catchUp = [&](bool wait) {
    std::int64_t now;
    {
      std::unique_lock lock(mutex);
      if (wait) changed.wait(lock, [&] { return finished > reported || failure; });
      now = finished;
      failed = failure != nullptr;
    }
    if (failed) return false;
    while (reported < now) done(++reported);
    return true;
  };
  // The calling thread takes tasks one at a time so it can report between them.
  while (runOne() && catchUp(false)) {
  }
  while (!failed && reported < count && catchUp(true)) {
  }
  if (failed) {
    for (std::thread& t : workers.threads) t.join();
    workers.threads.clear();
    std::rethrow_exception(failure);  // no thread touches it any more
  }
}

}  // namespace significance
