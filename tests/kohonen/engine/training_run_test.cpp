#include "kohonen/engine/training_run.h"

#include <gtest/gtest.h>

#include <map>

#include "kohonen/engine/map_views.h"
#include "kohonen_test_helpers.h"
#include "tests/support/test_support.h"

using kohonen_test::allWeights;
using kohonen_test::matrixOf;
using kohonen_test::RecordingProgress;

namespace {

RealMatrix smallData() {
  return matrixOf(6, 2, {0.1, 0.2, 0.9, 0.8, -0.5, 0.3, 0.4, -0.7, 1.2, 0.0, -0.3, -0.9});
}

TEST(TrainingRun, CancelBeforeTheFirstPassKeepsThePcInitialisation) {
  const RealMatrix data = smallData();
  KohonenNet net = createNetwork(3, 2, data);
  const std::vector<double> initial = allWeights(net);
  RecordingProgress progress(0);
  CellIndex index;
  const TrainingOutcome outcome = trainNetwork(net, data, TrainingSettings{}, progress, index);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.passes, 0);
  EXPECT_EQ(allWeights(net), initial);
  EXPECT_EQ(index.dataRowCount(), 6);  // rebuilt from the kept net
  EXPECT_EQ(progress.positions, std::vector<int>{0});
}

TEST(TrainingRun, CancelMidwayKeepsThePartlyTrainedNet) {
  const RealMatrix data = smallData();
  KohonenNet net = createNetwork(3, 2, data);
  KohonenNet manual = net;
  RecordingProgress progress(3);
  CellIndex index;
  TrainingSettings settings;
  settings.iterations = 100;
  const TrainingOutcome outcome = trainNetwork(net, data, settings, progress, index);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.passes, 3);
  double s = settings.initialStiffness;
  for (int i = 0; i < 3; ++i, s -= settings.decayFactor) {
    manual.setStiffness(s);
    manual.trainEpoch(data, settings.delta);
  }
  EXPECT_EQ(allWeights(net), allWeights(manual));
}

TEST(TrainingRun, StiffnessFallsByTheDecayAndStopsAtZero) {
  const RealMatrix data = smallData();
  KohonenNet net = createNetwork(4, 3, data);
  KohonenNet manual = net;
  TrainingSettings settings{5, 1.0, 0.2, 0.4};
  NullProgress progress;
  CellIndex index;
  trainNetwork(net, data, settings, progress, index);
  for (double s : {1.0, 0.6, 0.2, 0.0, 0.0}) {
    manual.setStiffness(s);
    manual.trainEpoch(data, 0.2);
  }
  // 1.0 − 3·0.4 would be −0.2: clamped to 0 rather than widening the neighbourhood again.
  EXPECT_EQ(allWeights(net), allWeights(manual));
}

TEST(TrainingRun, ProgressEveryFifthPass) {
  const RealMatrix data = smallData();
  KohonenNet net = createNetwork(2, 2, data);
  RecordingProgress progress;
  CellIndex index;
  TrainingSettings settings;
  settings.iterations = 12;
  const TrainingOutcome outcome = trainNetwork(net, data, settings, progress, index);
  EXPECT_FALSE(outcome.cancelled);
  EXPECT_EQ(outcome.passes, 12);
  EXPECT_EQ(progress.positions, (std::vector<int>{0, 0, 41, 83}));
  EXPECT_EQ(progress.queries, 12);

  RecordingProgress once;
  settings.iterations = 1;
  EXPECT_EQ(trainNetwork(net, data, settings, once, index).passes, 1);
  EXPECT_EQ(once.positions, (std::vector<int>{0, 0}));
}

TEST(TrainingRun, IndexMatchesTheWinnersOfTheTrainedNet) {
  const RealMatrix data = smallData();
  KohonenNet net = createNetwork(3, 3, data);
  NullProgress progress;
  CellIndex index;
  TrainingSettings settings;
  settings.iterations = 50;
  trainNetwork(net, data, settings, progress, index);
  for (int i = 0; i < data.Rows(); ++i) {
    const double* x = data.data() + i * 2;
    EXPECT_EQ(index.cellOf(i), net.findWinner(x));
  }
}

// Share of rows whose cell's majority class is their own class.
double classPurity(const KohonenNet& net, const RealMatrix& data, const std::vector<double>& classes) {
  std::map<std::pair<int, int>, std::map<int, int>> votes;
  std::vector<CellPos> winners;
  for (int i = 0; i < data.Rows(); ++i) {
    winners.push_back(net.findWinner(data.data() + static_cast<std::ptrdiff_t>(i) * data.Cols()));
    ++votes[{winners.back().row, winners.back().column}][static_cast<int>(classes[i])];
  }
  int agreeing = 0;
  for (int i = 0; i < data.Rows(); ++i) {
    const auto& cell = votes[{winners[i].row, winners[i].column}];
    int best = -1, bestCount = -1;
    for (const auto& [cls, count] : cell) {
      if (count > bestCount) best = cls, bestCount = count;
    }
    if (best == static_cast<int>(classes[i])) ++agreeing;
  }
  return static_cast<double>(agreeing) / data.Rows();
}

TEST(TrainingRun, IrisFiveByFiveSeparatesTheSpecies) {
  const kohonen_test::CsvTable iris = kohonen_test::readCsv(lumivane::test::samplePath("iris.csv"));
  ASSERT_EQ(iris.ids.size(), 150u);
  const RealMatrix data = kohonen_test::standardised(iris, 0, 4);
  KohonenNet net = createNetwork(5, 5, data);
  NullProgress progress;
  CellIndex index;
  const TrainingOutcome outcome = trainNetwork(net, data, TrainingSettings{}, progress, index);
  EXPECT_EQ(outcome.passes, 2000);
  const double purity = classPurity(net, data, iris.columns[4]);
  // A reference hexagonal 5 × 5 map reaches 0.96 on the same rows.
  EXPECT_GE(purity, 0.90) << purity;
  RecordProperty("purity", std::to_string(purity));
  const MapGrid hits = hitCounts(net, data);
  double total = 0.0;
  for (double h : hits.values) total += h;
  EXPECT_EQ(total, 150.0);
}

}  // namespace
