// End to end on real data: the wine table, thirteen standardised measurements in, the three
// one-hot cultivar columns out, 30 % of the rows held out at random, trained by kestrel on the
// worker thread until the stopping criteria end the run.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mlp/engine/training_run.h"
#include "platform/random.h"
#include "tests/mlp/engine/training_run_test_support.h"
#include "tests/shared/data_set_test_tables.h"

namespace lumivane::test {
namespace {

// Columns of wine.csv after its ID column: 13 measurements, the cultivar number, then one
// indicator column per cultivar.
constexpr int kMeasurements = 13;
constexpr int kFirstIndicator = 14;
constexpr int kCultivars = 3;
// 30 % of the 178 rows.
constexpr int kTestRows = 53;
constexpr int kEpochs = 200;

class TrainingWineTest : public TrainingFixture {};

int largest(const double* values, int count) {
  return static_cast<int>(std::max_element(values, values + count) - values);
}

TEST_F(TrainingWineTest, HeldOutCultivarsAreRecognised) {
  if (!loadKestrel()) GTEST_SKIP() << "kestrel is not part of this build";
  table = loadSampleTable("wine.csv");
  ASSERT_EQ(table.rowCount, 178);
  dataSet.attach(table);
  std::vector<std::int32_t> inputs(kMeasurements);
  for (int c = 0; c < kMeasurements; ++c) inputs[static_cast<std::size_t>(c)] = c;
  const std::vector<std::int32_t> outputs = {kFirstIndicator, kFirstIndicator + 1, kFirstIndicator + 2};
  dataSet.setInputs(inputs, std::vector<NormalisationKind>(kMeasurements, NormalisationKind::MeanVariance));
  dataSet.setOutputs(outputs, std::vector<NormalisationKind>(kCultivars, NormalisationKind::None));

  // The generator decides the weights and the split; fix its state so the run is repeatable.
  platform::crtSrand(1);
  const int counts[] = {6, kCultivars};
  const int orders[] = {1, 1};
  const char codes[] = {'t', 'l'};
  ASSERT_TRUE(run->SetNetwork(std::make_unique<Perceptron>(kMeasurements, 2, counts, orders, codes)));
  ASSERT_TRUE(run->ApplyTestSetChoice({{TestSetMode::RandomTestSet, 0, 0}, kTestRows}));
  ASSERT_EQ(run->Snapshot().trainingCount, 178 - kTestRows);
  const float initialTestError = run->Snapshot().testError;

  useCriteria(kEpochs - 1);
  trainToEnd();
  ASSERT_EQ(run->Snapshot().epochCounter, kEpochs);
  EXPECT_LT(run->Snapshot().testError, 0.5f * initialTestError);

  int correct = 0;
  run->WithModel([&](const TrainingModelView& view) {
    std::vector<double> answer(kCultivars);
    for (int p = view.trainingCount; p < view.trainingCount + view.testCount; ++p) {
      view.network->Answer(view.dataSet->questions()[p], kMeasurements, answer.data(), kCultivars);
      if (largest(answer.data(), kCultivars) == largest(view.dataSet->answers()[p], kCultivars)) ++correct;
    }
  });
  const double accuracy = static_cast<double>(correct) / kTestRows;
  RecordProperty("heldOutAccuracy", std::to_string(accuracy));
  EXPECT_GE(accuracy, 0.95) << correct << " of " << kTestRows << " held-out rows";
}

}  // namespace
}  // namespace lumivane::test
