// The pool and the step barrier behind kestrel's shared epochs: every part runs once per run,
// the run returns only after all have finished, and what each part wrote before a barrier is
// what every other part reads after it, run after run (with more parts than processors too).
#include "plugins/rprop/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace {

TEST(WorkerPoolTest, EveryPartRunsOncePerRunAndTheBarrierPublishesEachStep) {
  for (const int parts : {2, 3, 8}) {
    WorkerPool pool(parts);
    ASSERT_EQ(pool.size(), parts);
    std::vector<std::atomic<int>> calls(static_cast<std::size_t>(parts));
    std::vector<long long> slots(static_cast<std::size_t>(parts), -1);
    int wrong = 0;  // written only by part 0
    // More parts than processors spin and yield in turn: fewer runs keep that short.
    const int runs = parts > 4 ? 10 : 100;
    constexpr int kSteps = 20;
    for (int run = 0; run < runs; ++run) {
      SpinBarrier barrier(parts);
      pool.run([&](int part) {
        calls[static_cast<std::size_t>(part)].fetch_add(1);
        for (int step = 0; step < kSteps; ++step) {
          const long long stamp = (static_cast<long long>(run) * kSteps + step) * parts;
          slots[static_cast<std::size_t>(part)] = stamp + part;
          barrier.arriveAndWait();
          if (part == 0)
            for (int other = 0; other < parts; ++other)
              wrong += slots[static_cast<std::size_t>(other)] != stamp + other;
          barrier.arriveAndWait();  // nobody writes the next step before part 0 has read this one
        }
      });
      // The run has returned: every part has finished its last step.
      for (int part = 0; part < parts; ++part)
        ASSERT_EQ(calls[static_cast<std::size_t>(part)].load(), run + 1);
    }
    EXPECT_EQ(wrong, 0) << parts << " parts";
  }
}

}  // namespace
