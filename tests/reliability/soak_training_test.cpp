// Training started and stopped a thousand times in a row: every start ends with its one end
// notification, the worker is gone and nothing stays "training" (the busy flag of the engine),
// whether the stop comes before the first epoch or while one is running.
#include "tests/mlp/engine/training_run_test_support.h"

namespace lumivane::test {
namespace {

using TrainingSoak = TrainingFixture;

TEST_F(TrainingSoak, StartAndStopAThousandTimes) {
  useScripted();
  smoothProblem();
  useCriteria(100000000);
  constexpr int kRounds = 1000;
  for (int round = 0; round < kRounds; ++round) {
    const int ends = log.ends();
    const int entered = scripted.entered();
    ASSERT_TRUE(run->StartTraining()) << "round " << round;
    // Every other round the stop waits for a running epoch; the others stop at once.
    if (round % 2 == 1) {
      ASSERT_TRUE(scripted.waitUntilEntered(entered + 1)) << "round " << round;
    }
    run->StopTraining();
    ASSERT_TRUE(run->WaitForTrainingThread()) << "round " << round;
    ASSERT_TRUE(log.waitForEnds(ends + 1)) << "round " << round;
    ASSERT_FALSE(run->isTraining()) << "round " << round;
    ASSERT_FALSE(run->IsThreadRunning()) << "round " << round;
  }
  EXPECT_EQ(log.ends(), kRounds);
  EXPECT_GE(scripted.entered(), kRounds / 2);
}

}  // namespace
}  // namespace lumivane::test
