// The training run's worker thread against the user-interface side: stopping after the current
// epoch, pausing, starting again at once, commands refused while training, and readers that
// must never see a half-finished epoch. Meant to run under ThreadSanitizer as well.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "mlp/engine/training_run.h"
#include "tests/mlp/engine/training_run_test_support.h"

namespace lumivane::test {
namespace {

class TrainingThreadTest : public TrainingFixture {
 protected:
  int counter() const { return run->Snapshot().epochCounter; }
};

TEST_F(TrainingThreadTest, StopTakesEffectAfterTheCurrentEpoch) {
  useScripted();
  smoothProblem();
  scripted.hold();
  ASSERT_TRUE(run->StartTraining());
  ASSERT_TRUE(scripted.waitUntilEntered(1));
  // Stopped from a third thread while the first epoch is under way.
  std::thread([&] { run->StopTraining(); }).join();
  EXPECT_FALSE(run->isTraining());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(run->IsThreadRunning()) << "the epoch has not finished yet";
  EXPECT_EQ(log.ends(), 0);
  // A reader that cannot wait is turned away while the epoch holds the model.
  EXPECT_FALSE(run->TryWithModel([](const TrainingModelView&) {}));

  scripted.release();
  ASSERT_TRUE(log.waitForEnds(1));
  ASSERT_TRUE(run->WaitForTrainingThread());
  EXPECT_FALSE(run->IsThreadRunning());
  EXPECT_EQ(scripted.entered(), 1) << "no epoch may start after the stop";
  EXPECT_EQ(counter(), 1);
  EXPECT_EQ(log.epochs(), 1);
  EXPECT_TRUE(run->TryWithModel([](const TrainingModelView& view) { EXPECT_EQ(view.epochCounter, 1); }));
}

TEST_F(TrainingThreadTest, WithoutCriteriaTrainingRunsUntilStopped) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  ASSERT_EQ(run->stoppingCriteria().useStoppingCriteria, 0);
  ASSERT_TRUE(run->StartTraining());
  ASSERT_TRUE(eventually([&] { return counter() >= 200; }));
  EXPECT_TRUE(run->isTraining());
  EXPECT_EQ(log.ends(), 0);
  std::thread([&] { run->StopTraining(); }).join();
  ASSERT_TRUE(log.waitForEnds(1));
  const int last = counter();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(counter(), last);
  EXPECT_EQ(log.epochs(), last) << "one refresh per epoch";
  EXPECT_EQ(log.ends(), 1);
}

TEST_F(TrainingThreadTest, PausedWorkerStartsNoEpochUntilResumed) {
  useScripted();
  smoothProblem();
  scripted.hold();
  ASSERT_TRUE(run->StartTraining());
  ASSERT_TRUE(scripted.waitUntilEntered(1));
  // Paused during the first epoch: that epoch ends, then nothing moves for many poll intervals.
  run->setMayStep(false);
  scripted.release();
  ASSERT_TRUE(eventually([&] { return log.epochs() == 1; }));
  std::this_thread::sleep_for(10 * TrainingRun::kPausePoll);
  EXPECT_EQ(scripted.entered(), 1);
  EXPECT_EQ(counter(), 1);
  EXPECT_TRUE(run->isTraining());
  EXPECT_TRUE(run->IsThreadRunning());
  // Readers get the model at once while paused.
  EXPECT_TRUE(run->TryWithModel([](const TrainingModelView& view) { EXPECT_EQ(view.epochCounter, 1); }));
  run->setMayStep(true);
  ASSERT_TRUE(eventually([&] { return counter() > 10; }));
  run->StopTraining();
  ASSERT_TRUE(log.waitForEnds(1));
}

TEST_F(TrainingThreadTest, PausedWorkerStillStops) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  ASSERT_TRUE(run->StartTraining());
  run->setMayStep(false);
  run->StopTraining();
  ASSERT_TRUE(log.waitForEnds(1));
  EXPECT_FALSE(run->IsThreadRunning());
}

TEST_F(TrainingThreadTest, RepeatedStartAndStopEndEveryRunOnce) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  constexpr int kRuns = 30;
  for (int i = 0; i < kRuns; ++i) {
    // Starting again right after a stop waits for the previous worker's last epoch.
    ASSERT_TRUE(run->StartTraining()) << "run " << i;
    EXPECT_FALSE(run->StartTraining()) << "a second start while running is ignored";
    if (i % 3 == 0) {
      const int from = counter();
      ASSERT_TRUE(eventually([&] { return counter() > from + 2; }));
    }
    run->StopTraining();
  }
  ASSERT_TRUE(log.waitForEnds(kRuns));
  ASSERT_TRUE(run->WaitForTrainingThread());
  EXPECT_EQ(log.ends(), kRuns);
  // Every epoch of every run was counted once and refreshed once; the history holds them all.
  EXPECT_EQ(log.epochs(), counter());
  EXPECT_EQ(run->TrainingHistory().size(), static_cast<std::size_t>(counter()) + 1);
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(TrainingThreadTest, ReadersNeverSeeHalfAnEpoch) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  ASSERT_TRUE(run->StartTraining());
  int reads = 0, mismatches = 0, lastCounter = 0;
  std::vector<double> answer(1);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < until || counter() < 50) {
    // Between epochs the newest entry is exactly the error of the network as it stands.
    run->WithModel([&](const TrainingModelView& view) {
      ++reads;
      const float now = static_cast<float>(view.network->RmsError(
          view.dataSet->questions(), 2, view.dataSet->answers(), 1, view.trainingCount));
      if (now != view.trainingErrors[view.epochCounter]) ++mismatches;
      view.network->Answer(view.dataSet->questions()[0], 2, answer.data(), 1);
      EXPECT_GE(view.epochCounter, lastCounter);
      lastCounter = view.epochCounter;
    });
    const TrainingSnapshot s = run->Snapshot();
    EXPECT_GE(s.epochCounter, lastCounter);
    EXPECT_GT(s.historyCapacity, s.epochCounter);
    const std::vector<float> test = run->TestHistory();
    EXPECT_GE(test.size(), static_cast<std::size_t>(lastCounter) + 1);
    run->MeasureErrors();  // the page's activation handler, which must not disturb the run
    std::this_thread::yield();
  }
  run->StopTraining();
  ASSERT_TRUE(log.waitForEnds(1));
  EXPECT_GT(reads, 10);
  EXPECT_EQ(mismatches, 0);
  EXPECT_GE(counter(), 50);
}

TEST_F(TrainingThreadTest, CommandsThatChangeTheModelAreRefusedWhileTraining) {
  useScripted();
  smoothProblem();
  scripted.hold();
  ASSERT_TRUE(run->StartTraining());
  ASSERT_TRUE(scripted.waitUntilEntered(1));
  Perceptron* network = run->network();
  EXPECT_FALSE(run->ClearHistory());
  EXPECT_FALSE(run->ApplyTestSet());
  EXPECT_FALSE(run->DiscardNetwork());
  EXPECT_FALSE(run->SetNetwork(smallNetwork(2, 1)));
  EXPECT_FALSE(run->RandomizeSynapses([] { return std::optional<Randomization>(Randomization{}); }));
  EXPECT_FALSE(run->ApplyTestSetChoice({{TestSetMode::LastExamples, 0, 0}, 2}));
  EXPECT_FALSE(run->WaitForTrainingThread());
  EXPECT_EQ(run->network(), network);
  EXPECT_EQ(scripted.detachCalls, 0);
  EXPECT_EQ(run->Snapshot().testCount, 5);
  EXPECT_TRUE(prompter.messages().empty());

  // The criteria may change during training; the worker stops at the end of the epoch.
  useCriteria(0);
  scripted.release();
  ASSERT_TRUE(log.waitForEnds(1));
  EXPECT_EQ(counter(), 1);
  EXPECT_TRUE(run->ClearHistory());
  EXPECT_TRUE(run->DiscardNetwork());
}

}  // namespace
}  // namespace lumivane::test
