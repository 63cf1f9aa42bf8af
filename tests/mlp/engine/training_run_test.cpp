// The training run on the user-interface side and epoch by epoch: the readiness check and the
// start guards, the history and its growth, the error measurement, the stopping criteria, the
// test-set split and the three dialog commands, discarding the network.

#include "mlp/engine/training_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/random.h"
#include "tests/mlp/engine/training_run_test_support.h"

namespace lumivane::test {
namespace {

using platform::IDOK;
using platform::MB_OK;

class TrainingRunTest : public TrainingFixture {
 protected:
  // The one box shown since the last call, with the application's caption and an OK button.
  void expectOnlyBox(const std::string& text) {
    const auto boxes = prompter.messages();
    ASSERT_EQ(boxes.size(), seenBoxes_ + 1) << "expected: " << text;
    EXPECT_EQ(boxes.back().text, text);
    EXPECT_EQ(boxes.back().caption, "VANTOR3");
    EXPECT_EQ(boxes.back().flags, MB_OK);
    seenBoxes_ = boxes.size();
  }
  void expectNoNewBox() { EXPECT_EQ(prompter.messages().size(), seenBoxes_); }
  void expectStopped() {
    EXPECT_FALSE(run->isTraining());
    EXPECT_FALSE(run->IsThreadRunning());
  }

  std::size_t seenBoxes_ = 0;
};

constexpr const char* kInputsDiffer =
    "Inputs dimension in data set isn't equal the one of the network!\n"
    "Create proper network or change data set!";
constexpr const char* kOutputsDiffer =
    "Outputs dimension in data set isn't equal the one of the network!\n"
    "Create proper network or change data set!";

TEST_F(TrainingRunTest, ReadinessCheckShowsTheFirstFailingTestOnly) {
  // Nothing at all: only the network is reported although inputs and outputs are missing too.
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->CheckTrainingData());
  expectOnlyBox("Create the network first");

  run->SetNetwork(smallNetwork(2, 1));
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->CheckTrainingData());
  expectOnlyBox("Select data set first!");

  chooseColumns({0, 1, 2}, {});
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->CheckTrainingData());
  expectOnlyBox("Your data has no outputs specified and\nmay be used only to save answers!");

  // Three inputs against the network's two, and two outputs against its one: inputs first.
  chooseColumns({0, 1, 2}, {3, 4});
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->CheckTrainingData());
  expectOnlyBox(kInputsDiffer);

  chooseColumns({0, 1}, {3, 4});
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->CheckTrainingData());
  expectOnlyBox(kOutputsDiffer);

  chooseColumns({0, 1}, {3});
  EXPECT_TRUE(run->CheckTrainingData());
  expectNoNewBox();
}

TEST_F(TrainingRunTest, StartStopsAtTheReadinessCheckBeforeLookingAtTheAlgorithm) {
  useScripted();
  chooseColumns({0, 1, 2}, {3});
  run->SetNetwork(smallNetwork(2, 1));
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->StartTraining());
  expectOnlyBox(kInputsDiffer);
  EXPECT_EQ(scripted.attachCalls, 0);
  expectStopped();
}

TEST_F(TrainingRunTest, StartWithoutAnAlgorithmAsksForOne) {
  smoothProblem();
  ASSERT_EQ(loader.selectedAlgorithm, -1);
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->StartTraining());
  expectOnlyBox("Select training algorithm first");
  expectStopped();
  EXPECT_EQ(log.ends(), 0);
}

TEST_F(TrainingRunTest, FailedAttachIsReportedAndNothingRuns) {
  useScripted();
  scripted.attachResult = 0;
  smoothProblem();
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->StartTraining());
  expectOnlyBox("Can't attach algorithm to neural network");
  expectStopped();
  EXPECT_EQ(scripted.attachCalls, 1);
  EXPECT_EQ(scripted.entered(), 0);
  EXPECT_EQ(run->Snapshot().epochCounter, 0);
}

TEST_F(TrainingRunTest, AttachReceivesTheWholeContext) {
  useScripted();
  scripted.hold();  // keep the worker inside its first epoch while the context is inspected
  smoothProblem();
  ASSERT_TRUE(run->StartTraining());
  ASSERT_TRUE(scripted.waitUntilEntered(1));
  const TrainingContext& c = scripted.context;
  EXPECT_EQ(c.network, run->network());
  ASSERT_NE(c.networkExists, nullptr);
  EXPECT_EQ(*c.networkExists, 1);
  EXPECT_EQ(c.questions, dataSet.questions());
  EXPECT_EQ(c.answers, dataSet.answers());
  EXPECT_EQ(c.inputCount, 2);
  EXPECT_EQ(c.outputCount, 1);
  EXPECT_EQ(c.trainingCount, 15);
  ASSERT_NE(c.epochCounter, nullptr);
  EXPECT_EQ(*c.epochCounter, 0);
  ASSERT_NE(c.trainingHistory, nullptr);
  ASSERT_NE(c.testHistory, nullptr);
  // The history pointers lead to the entries the page shows.
  EXPECT_EQ((*c.trainingHistory)[0], run->Snapshot().trainingError);
  EXPECT_EQ((*c.testHistory)[0], run->Snapshot().testError);
  EXPECT_GT((*c.testHistory)[0], 0.0f);
  EXPECT_NE(c.callback, nullptr);
  EXPECT_NE(c.callbackData, nullptr);
  run->StopTraining();
  scripted.release();
  ASSERT_TRUE(log.waitForEnds(1));
  EXPECT_EQ(run->Snapshot().epochCounter, 1);
}

TEST_F(TrainingRunTest, MaxEpochsThreeStopsAfterTheFourthEpoch) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  useCriteria(3);
  trainToEnd();
  EXPECT_EQ(run->Snapshot().epochCounter, 4);
  EXPECT_EQ(log.epochs(), 4);
  EXPECT_EQ(log.ends(), 1);
  expectStopped();
  // Every epoch measured its own entry.
  const std::vector<float> training = run->TrainingHistory();
  ASSERT_EQ(training.size(), 5u);
  for (float error : training) EXPECT_GT(error, 0.0f);
}

TEST_F(TrainingRunTest, TestErrorLimitWithoutTestExamplesStopsAfterOneEpoch) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  chooseColumns({0, 1}, {3});
  run->SetNetwork(smallNetwork(2, 1));
  ASSERT_EQ(run->Snapshot().testCount, 0);
  useCriteria(100000, 0.0f, 0.5f);
  trainToEnd();
  EXPECT_EQ(run->Snapshot().epochCounter, 1);
  EXPECT_EQ(run->Snapshot().testError, 0.0f);
  EXPECT_GT(run->Snapshot().trainingError, 0.0f);
}

TEST_F(TrainingRunTest, AllExamplesForTestingTrainNothingWhileTheCounterAdvances) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  chooseColumns({0, 1}, {3});
  run->SetNetwork(smallNetwork(2, 1));
  ASSERT_TRUE(run->ApplyTestSetChoice({{TestSetMode::RandomTestSet, 0, 0}, 20}));
  EXPECT_EQ(run->Snapshot().trainingCount, 0);
  EXPECT_EQ(run->Snapshot().testCount, 20);
  const std::string before = weightsOf(*run->network());
  useCriteria(5);
  trainToEnd();
  EXPECT_EQ(run->Snapshot().epochCounter, 6);
  EXPECT_EQ(weightsOf(*run->network()), before);
  const std::vector<float> training = run->TrainingHistory();
  const std::vector<float> test = run->TestHistory();
  ASSERT_EQ(test.size(), 7u);
  for (std::size_t i = 0; i < test.size(); ++i) {
    EXPECT_EQ(training[i], 0.0f);
    EXPECT_EQ(test[i], test[0]);
  }
}

TEST_F(TrainingRunTest, StartContinuesTheHistoryAndEpoch998GrowsItFirst) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  useCriteria(997);
  trainToEnd();
  // Epoch 997 → 998 ran with 997 < 1000 − 2: no growth yet.
  ASSERT_EQ(run->Snapshot().epochCounter, 998);
  EXPECT_EQ(run->Snapshot().historyCapacity, 1000);
  const std::vector<float> training = run->TrainingHistory();
  const std::vector<float> test = run->TestHistory();
  EXPECT_LT(training[998], 0.5f * training[0]) << "kestrel should have reduced the error";

  useCriteria(998);
  trainToEnd();
  EXPECT_EQ(run->Snapshot().epochCounter, 999);
  EXPECT_EQ(run->Snapshot().historyCapacity, 2000);
  const std::vector<float> grownTraining = run->TrainingHistory();
  const std::vector<float> grownTest = run->TestHistory();
  ASSERT_EQ(grownTraining.size(), 1000u);
  EXPECT_TRUE(std::equal(training.begin(), training.end(), grownTraining.begin()));
  EXPECT_TRUE(std::equal(test.begin(), test.end(), grownTest.begin()));
  // The new entry is the error of the network as it is now.
  run->WithModel([&](const TrainingModelView& view) {
    EXPECT_EQ(view.trainingErrors[999], static_cast<float>(referenceRms(*view.network, dataSet, 0, 15)));
    EXPECT_EQ(view.testErrors[999], static_cast<float>(referenceRms(*view.network, dataSet, 15, 5)));
    for (int i = 1000; i < view.historyCapacity; ++i) ASSERT_EQ(view.trainingErrors[i], 0.0f);
  });
}

TEST_F(TrainingRunTest, HistoryThatCannotGrowIsClearedAndTrainingGoesOn) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  useCriteria(997);
  trainToEnd();
  ASSERT_EQ(run->Snapshot().epochCounter, 998);
  const float reached = run->TrainingHistory()[998];

  // Growth to 2000 is refused: the history starts again at the network's current error, then
  // the epoch runs and its entry is 1.
  run->setHistoryLimit(1000);
  useCriteria(1);
  trainToEnd();
  EXPECT_EQ(run->Snapshot().epochCounter, 2);
  EXPECT_EQ(run->Snapshot().historyCapacity, 1000);
  const std::vector<float> training = run->TrainingHistory();
  ASSERT_EQ(training.size(), 3u);
  EXPECT_EQ(training[0], reached);
  // Restarting resets kestrel's step sizes, so the error may rise again: only check that the
  // epochs after the clear were measured into their entries.
  EXPECT_GT(training[1], 0.0f);
  EXPECT_EQ(training[2], static_cast<float>(referenceRms(*run->network(), dataSet, 0, 15)));
  EXPECT_EQ(log.ends(), 2);
  EXPECT_TRUE(run->TakeTrainingFailure().empty());
}

TEST_F(TrainingRunTest, ErrorsAreMeasuredOnEachSideOfTheSplit) {
  smoothProblem();
  const TrainingSnapshot s = run->Snapshot();
  EXPECT_EQ(s.trainingCount, 15);
  EXPECT_EQ(s.testCount, 5);
  EXPECT_EQ(s.trainingError, static_cast<float>(referenceRms(*run->network(), dataSet, 0, 15)));
  EXPECT_EQ(s.testError, static_cast<float>(referenceRms(*run->network(), dataSet, 15, 5)));
  EXPECT_NE(s.trainingError, s.testError);

  // With every weight 0 the network answers 0, so each error is the root mean square of the
  // targets: the first 15 rows train, the last 5 test (LastExamples keeps the natural order).
  ASSERT_TRUE(run->ApplyRandomization({Randomization::Kind::Randomize, 0.0}));
  double trainingSum = 0.0, testSum = 0.0;
  for (int r = 0; r < 20; ++r) {
    const double y = table.columns[3][static_cast<std::size_t>(r)];
    (r < 15 ? trainingSum : testSum) += y * y;
  }
  EXPECT_FLOAT_EQ(run->Snapshot().trainingError, static_cast<float>(std::sqrt(trainingSum / 15)));
  EXPECT_FLOAT_EQ(run->Snapshot().testError, static_cast<float>(std::sqrt(testSum / 5)));
}

TEST_F(TrainingRunTest, ErrorsAreNotMeasuredWhenTheNetworkDoesNotFit) {
  chooseColumns({0, 1, 2}, {3});
  run->SetNetwork(smallNetwork(2, 1));
  EXPECT_FALSE(run->ErrorsExist());
  EXPECT_EQ(run->Snapshot().trainingError, 0.0f);
  EXPECT_EQ(run->Snapshot().testError, 0.0f);
  chooseColumns({0, 1}, {3});
  EXPECT_TRUE(run->ErrorsExist());
  run->MeasureErrors();
  EXPECT_GT(run->Snapshot().trainingError, 0.0f);
}

TEST_F(TrainingRunTest, StoppingCriteriaCompareTheStoredFloats) {
  smoothProblem();
  const float training = run->Snapshot().trainingError;
  const float test = run->Snapshot().testError;
  const float infinity = std::numeric_limits<float>::infinity();

  run->SetStoppingCriteria({0, -1, infinity, infinity});
  EXPECT_FALSE(run->StoppingCriteriaMet()) << "criteria not in use";

  // Counter 0 is not over 0, but over −1.
  useCriteria(0);
  EXPECT_FALSE(run->StoppingCriteriaMet());
  useCriteria(-1);
  EXPECT_TRUE(run->StoppingCriteriaMet());

  // An error equal to its limit goes on; one just below the limit stops.
  useCriteria(10, training, test);
  EXPECT_FALSE(run->StoppingCriteriaMet());
  useCriteria(10, std::nextafter(training, infinity), 0.0f);
  EXPECT_TRUE(run->StoppingCriteriaMet());
  useCriteria(10, 0.0f, std::nextafter(test, infinity));
  EXPECT_TRUE(run->StoppingCriteriaMet());
}

TEST_F(TrainingRunTest, ClearHistoryStartsAgainFromTheCurrentErrors) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  smoothProblem();
  const float initial = run->Snapshot().trainingError;
  useCriteria(9);
  trainToEnd();
  ASSERT_EQ(run->Snapshot().epochCounter, 10);
  ASSERT_TRUE(run->ClearHistory());
  const TrainingSnapshot s = run->Snapshot();
  EXPECT_EQ(s.epochCounter, 0);
  EXPECT_EQ(s.historyCapacity, 1000);
  EXPECT_EQ(s.trainingError, static_cast<float>(referenceRms(*run->network(), dataSet, 0, 15)));
  EXPECT_LT(s.trainingError, initial);
  EXPECT_EQ(run->TrainingHistory().size(), 1u);
  run->WithModel([](const TrainingModelView& view) {
    for (int i = 1; i < view.historyCapacity; ++i) ASSERT_EQ(view.trainingErrors[i], 0.0f);
  });
  // The next run counts from the cleared history.
  useCriteria(1);
  trainToEnd();
  EXPECT_EQ(run->Snapshot().epochCounter, 2);
}

TEST_F(TrainingRunTest, EditTestSetNeedsInputsAndOutputs) {
  chooseColumns({0, 1}, {});
  bool opened = false;
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->EditTestSet([&](const TestSetChoice&, std::int32_t) {
    opened = true;
    return std::optional<TestSetChoice>();
  }));
  expectOnlyBox("You haven't created training data.\nData must have inputs and outputs.");
  EXPECT_FALSE(opened);
}

TEST_F(TrainingRunTest, EditTestSetOpensWithTheCurrentValuesAndAppliesTheConfirmedOnes) {
  chooseColumns({0, 1}, {3});
  run->SetNetwork(smallNetwork(2, 1));
  // A block of 5 from example 18 of 20 is cut to the 2 examples that exist.
  EXPECT_TRUE(run->EditTestSet([&](const TestSetChoice& current, std::int32_t n) {
    EXPECT_EQ(n, 20);
    EXPECT_EQ(current.parameters.testSetMode, TestSetMode::RandomTestSet);
    EXPECT_EQ(current.testCount, 0);
    return std::optional<TestSetChoice>({{TestSetMode::BlockOfExamples, 18, 0}, 5});
  }));
  EXPECT_EQ(run->Snapshot().testCount, 2);
  EXPECT_EQ(run->Snapshot().trainingCount, 18);
  EXPECT_EQ(dataSet.order()[18], 18);
  EXPECT_EQ(dataSet.order()[19], 19);
  EXPECT_EQ(dataSet.testSetMode(), TestSetMode::BlockOfExamples);
  EXPECT_EQ(run->Snapshot().testError, static_cast<float>(referenceRms(*run->network(), dataSet, 18, 2)));

  // The random-and-last layout raises the test count to the last count.
  EXPECT_TRUE(run->EditTestSet([&](const TestSetChoice& current, std::int32_t) {
    EXPECT_EQ(current.parameters.testSetMode, TestSetMode::BlockOfExamples);
    EXPECT_EQ(current.parameters.blockStart, 18);
    EXPECT_EQ(current.testCount, 2);
    return std::optional<TestSetChoice>({{TestSetMode::RandomAndLast, 0, 3}, 1});
  }));
  EXPECT_EQ(run->Snapshot().testCount, 3);
  EXPECT_EQ(dataSet.order()[17], 17);
  EXPECT_EQ(dataSet.order()[19], 19);

  // Cancel changes nothing.
  const std::vector<std::int32_t> order = dataSet.order();
  EXPECT_FALSE(
      run->EditTestSet([](const TestSetChoice&, std::int32_t) { return std::optional<TestSetChoice>(); }));
  EXPECT_EQ(dataSet.order(), order);
  EXPECT_EQ(run->Snapshot().testCount, 3);
}

TEST_F(TrainingRunTest, EditStoppingCriteriaStoresOnlyConfirmedValues) {
  const StoppingCriteria defaults{0, 100000, 0.0f, 0.0f};
  const StoppingCriteria chosen{1, 250, 0.01f, 0.02f};
  EXPECT_TRUE(run->EditStoppingCriteria([&](const StoppingCriteria& current) {
    EXPECT_EQ(current, defaults);
    return std::optional<StoppingCriteria>(chosen);
  }));
  EXPECT_EQ(run->stoppingCriteria(), chosen);
  EXPECT_FALSE(run->EditStoppingCriteria([&](const StoppingCriteria& current) {
    EXPECT_EQ(current, chosen);
    return std::optional<StoppingCriteria>();
  }));
  EXPECT_EQ(run->stoppingCriteria(), chosen);
}

TEST_F(TrainingRunTest, RandomizeSynapsesNeedsANetworkAndKeepsTheHistory) {
  bool opened = false;
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->RandomizeSynapses([&] {
    opened = true;
    return std::optional<Randomization>();
  }));
  expectOnlyBox("Create the network first");
  EXPECT_FALSE(opened);

  smoothProblem();
  const std::string weights = weightsOf(*run->network());
  const TrainingSnapshot before = run->Snapshot();
  // No noise at all changes nothing; cancelling neither.
  EXPECT_TRUE(run->RandomizeSynapses([] {
    return std::optional<Randomization>({Randomization::Kind::AddNoise, 0.0});
  }));
  EXPECT_EQ(weightsOf(*run->network()), weights);
  EXPECT_EQ(run->Snapshot().trainingError, before.trainingError);
  EXPECT_FALSE(run->RandomizeSynapses([] { return std::optional<Randomization>(); }));
  EXPECT_EQ(weightsOf(*run->network()), weights);

  // New weights overwrite the current entry; the counter stays.
  EXPECT_TRUE(run->RandomizeSynapses([] {
    return std::optional<Randomization>({Randomization::Kind::Randomize, 2.0});
  }));
  EXPECT_NE(weightsOf(*run->network()), weights);
  EXPECT_EQ(run->Snapshot().epochCounter, 0);
  EXPECT_EQ(run->Snapshot().trainingError, static_cast<float>(referenceRms(*run->network(), dataSet, 0, 15)));
  EXPECT_NE(run->Snapshot().trainingError, before.trainingError);
}

TEST_F(TrainingRunTest, DiscardNetworkDetachesWhileTheNetworkStillExists) {
  useScripted();
  smoothProblem();
  useCriteria(2);
  trainToEnd();
  ASSERT_EQ(run->Snapshot().epochCounter, 3);
  ASSERT_TRUE(run->DiscardNetwork());
  EXPECT_EQ(scripted.detachCalls, 1);
  EXPECT_EQ(scripted.networkExistsAtDetach, 1);
  EXPECT_FALSE(run->networkExists());
  EXPECT_EQ(run->network(), nullptr);
  EXPECT_FALSE(run->ErrorsExist());
  const TrainingSnapshot s = run->Snapshot();
  EXPECT_EQ(s.epochCounter, 0);
  EXPECT_EQ(s.historyCapacity, 1000);
  // The split survives; the start guard now asks for a network.
  EXPECT_EQ(s.testCount, 5);
  prompter.answerMessage(IDOK);
  EXPECT_FALSE(run->StartTraining());
  expectOnlyBox("Create the network first");
}

TEST_F(TrainingRunTest, ANewNetworkReplacesTheOldOneAndIsMeasured) {
  useScripted();
  smoothProblem();
  ASSERT_TRUE(run->StartTraining());
  run->StopTraining();
  ASSERT_TRUE(log.waitForEnds(1));
  platform::crtSrand(7);
  ASSERT_TRUE(run->SetNetwork(smallNetwork(2, 1)));
  EXPECT_EQ(scripted.detachCalls, 1);
  EXPECT_TRUE(run->networkExists());
  EXPECT_EQ(run->Snapshot().epochCounter, 0);
  EXPECT_EQ(run->Snapshot().trainingError, static_cast<float>(referenceRms(*run->network(), dataSet, 0, 15)));
}

}  // namespace
}  // namespace lumivane::test
