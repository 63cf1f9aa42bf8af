// The best network kept while training: which epoch is kept, restoring it, and when the kept
// copy is forgotten.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/mlp/engine/training_run_test_support.h"

namespace lumivane::test {
namespace {

// Sets every weight to 0 and the output neuron's bias to biases[epoch − 1] on each epoch, so
// the network answers a constant and each epoch's errors are known in advance; records the
// weights it left after each epoch.
class BiasScript final : public TrainingAlgorithm {
 public:
  explicit BiasScript(std::vector<double> biases) : biases_(std::move(biases)) {}
  std::string Description() override { return "bias script"; }
  std::string Name() override { return "Bias script"; }
  int Attach(const TrainingContext* received) override {
    context_ = *received;
    return 1;
  }
  void Detach() override {}
  int EditParameters(const TrainingContext*) override { return 0; }
  int Epoch() override {
    const int epoch = ++*context_.epochCounter;
    Perceptron& network = *context_.network;
    network.Randomize(0.0);
    Neuron& output = *network.neurons[network.layerCount - 1][0];
    const std::size_t step = static_cast<std::size_t>(epoch - 1) % biases_.size();
    output.AllWeights()[output.WeightCount() - 1] = biases_[step];
    weightsAfter[epoch] = weightsOf(network);
    return context_.callback(context_.callbackData);
  }

  std::map<int, std::string> weightsAfter;

 private:
  std::vector<double> biases_;
  TrainingContext context_{};
};

class BestNetworkTest : public TrainingFixture {
 protected:
  // The run detaches the selected algorithm when it goes: it must go while the script lives.
  void TearDown() override {
    if (run) {
      run->StopTraining();
      run->WaitForTrainingThread();
      run.reset();
    }
    TrainingFixture::TearDown();
  }
  BiasScript& useScript(std::vector<double> biases) {
    script = std::make_unique<BiasScript>(std::move(biases));
    loader.algorithms.push_back(script.get());
    loader.selectedAlgorithm = static_cast<int>(loader.algorithms.size()) - 1;
    return *script;
  }
  // Root mean square of y − bias over rows from..from+count−1 (the natural order).
  double constantRms(double bias, int from, int count) const {
    double sum = 0.0;
    for (int r = from; r < from + count; ++r) {
      const double d = bias - table.columns[3][static_cast<std::size_t>(r)];
      sum += d * d;
    }
    return std::sqrt(sum / count);
  }
  double testMean() const {
    double sum = 0.0;
    for (int r = 15; r < 20; ++r) sum += table.columns[3][static_cast<std::size_t>(r)];
    return sum / 5;
  }

  std::unique_ptr<BiasScript> script;
};

TEST_F(BestNetworkTest, LowestTestErrorIsKeptAndRestoredWithoutTouchingTheHistory) {
  smoothProblem();  // rows 15..19 test
  // The mean of the test targets is the constant with the lowest test error: epoch 3.
  const double best = testMean();
  BiasScript& script = useScript({1.0, 0.6, best, -0.8, best + 0.3});
  EXPECT_FALSE(run->bestNetwork().kept);
  useCriteria(4);
  trainToEnd();
  ASSERT_EQ(run->Snapshot().epochCounter, 5);

  const BestNetworkInfo kept = run->bestNetwork();
  ASSERT_TRUE(kept.kept);
  EXPECT_EQ(kept.epoch, 3);
  EXPECT_EQ(kept.testError, static_cast<float>(constantRms(best, 15, 5)));
  EXPECT_EQ(kept.trainingError, static_cast<float>(constantRms(best, 0, 15)));
  const std::vector<float> historyBefore = run->TestHistory();
  EXPECT_EQ(historyBefore[3], kept.testError);

  ASSERT_TRUE(run->RestoreBestNetwork());
  EXPECT_EQ(weightsOf(*run->network()), script.weightsAfter.at(3));
  // Measured afresh into the current entry; the earlier entries and the counter stay.
  EXPECT_EQ(run->Snapshot().epochCounter, 5);
  EXPECT_EQ(run->Snapshot().testError, kept.testError);
  EXPECT_EQ(run->Snapshot().trainingError, kept.trainingError);
  const std::vector<float> historyAfter = run->TestHistory();
  ASSERT_EQ(historyAfter.size(), historyBefore.size());
  for (int e = 0; e < 5; ++e) EXPECT_EQ(historyAfter[e], historyBefore[e]) << e;
  EXPECT_EQ(historyAfter[5], kept.testError);
  EXPECT_TRUE(run->bestNetwork().kept) << "restoring keeps the copy";

  // Training on keeps comparing with the kept error: worse epochs change nothing.
  useCriteria(7);
  trainToEnd();
  EXPECT_EQ(run->bestNetwork().epoch, 3);
}

TEST_F(BestNetworkTest, WithoutTestExamplesTheTrainingErrorDecidesAndTiesKeepTheFirst) {
  chooseColumns({0, 1}, {3});
  run->SetNetwork(smallNetwork(2, 1));
  ASSERT_EQ(run->Snapshot().testCount, 0);
  double mean = 0.0;
  for (int r = 0; r < 20; ++r) mean += table.columns[3][static_cast<std::size_t>(r)];
  mean /= 20;
  useScript({0.9, mean, mean, 0.0});
  useCriteria(3);
  trainToEnd();
  const BestNetworkInfo kept = run->bestNetwork();
  ASSERT_TRUE(kept.kept);
  EXPECT_EQ(kept.epoch, 2);
  EXPECT_EQ(kept.trainingError, static_cast<float>(constantRms(mean, 0, 20)));
  EXPECT_EQ(kept.testError, 0.0f);
}

TEST_F(BestNetworkTest, TheNetworkARunStartsFromCompetes) {
  smoothProblem();
  ASSERT_TRUE(run->ApplyRandomization({Randomization::Kind::Randomize, 0.0}));  // answers 0
  const std::string start = weightsOf(*run->network());
  useScript({5.0, 6.0});
  useCriteria(2);
  trainToEnd();
  const BestNetworkInfo kept = run->bestNetwork();
  ASSERT_TRUE(kept.kept);
  EXPECT_EQ(kept.epoch, 0);
  EXPECT_EQ(kept.testError, static_cast<float>(constantRms(0.0, 15, 5)));
  ASSERT_TRUE(run->RestoreBestNetwork());
  EXPECT_EQ(weightsOf(*run->network()), start);
}

TEST_F(BestNetworkTest, ClearNewSplitAndNewNetworkForgetTheCopy) {
  smoothProblem();
  useScript({0.2, 0.1});
  EXPECT_FALSE(run->RestoreBestNetwork()) << "nothing kept yet";

  useCriteria(1);
  trainToEnd();
  ASSERT_TRUE(run->bestNetwork().kept);
  ASSERT_TRUE(run->ClearHistory());
  EXPECT_FALSE(run->bestNetwork().kept);
  EXPECT_FALSE(run->RestoreBestNetwork());

  useCriteria(1);
  trainToEnd();
  ASSERT_TRUE(run->bestNetwork().kept);
  ASSERT_TRUE(run->ApplyTestSetChoice({{TestSetMode::LastExamples, 0, 0}, 8}));
  EXPECT_FALSE(run->bestNetwork().kept);

  useCriteria(2);
  trainToEnd();
  ASSERT_TRUE(run->bestNetwork().kept);
  // Randomising keeps the copy: it may still be wanted back.
  ASSERT_TRUE(run->ApplyRandomization({Randomization::Kind::AddNoise, 0.1}));
  EXPECT_TRUE(run->bestNetwork().kept);
  run->SetNetwork(smallNetwork(2, 1));
  EXPECT_FALSE(run->bestNetwork().kept);
  EXPECT_FALSE(run->RestoreBestNetwork());
}

TEST_F(BestNetworkTest, RestoreIsRefusedWhileTraining) {
  smoothProblem();
  useScripted();
  useCriteria(1);
  trainToEnd();  // the scripted algorithm leaves the weights: the start is kept
  ASSERT_TRUE(run->bestNetwork().kept);
  scripted.hold();
  useCriteria(100);
  ASSERT_TRUE(run->StartTraining());
  ASSERT_TRUE(scripted.waitUntilEntered(3));
  EXPECT_FALSE(run->RestoreBestNetwork());
  run->StopTraining();
  scripted.release();
  ASSERT_TRUE(log.waitForEnds(2));
  EXPECT_TRUE(run->RestoreBestNetwork());
}

}  // namespace
}  // namespace lumivane::test
