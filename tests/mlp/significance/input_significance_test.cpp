#include "mlp/significance/input_significance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "mlp/significance/pair_boxcount.h"
#include "shared/exceptions.h"
#include "significance_test_data.h"
#include "tests/support/test_support.h"

namespace significance {
namespace {

using test::makeMatrix;

BoxCountOptions withThreads(unsigned threads) {
  BoxCountOptions o;
  o.threads = threads;
  o.finishPause = std::chrono::milliseconds(0);
  return o;
}

// Inputs in decreasing order of significance for output j.
std::vector<std::int32_t> ranking(const RealMatrix& S, std::int32_t j) {
  std::vector<std::int32_t> order(static_cast<std::size_t>(S.Cols()));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::int32_t a, std::int32_t b) { return S(j, a) > S(j, b); });
  return order;
}

// The significance formula at a given level of a pair table.
double atLevel(const PairBoxcountResult& r, std::int32_t m) {
  const PairRow& row = r.table[m];
  return (row[kMutualInformationColumn] - 0.5 * row[kBiasColumn]) / row[kEntropyBColumn];
}

TEST(InputSignificance, PairReliableAtEveryLevelIsEvaluatedAtLevel15) {
  // Values 0 and 1.5/65535 quantise to 0 and 1: they separate only at level 16, so levels
  // 15 and 16 differ. Few distinct rows keep every level reliable (cAB = 16).
  static constexpr double kValues[4] = {0.0, 1.5 / 65535, 0.5, 1.0};
  const RealMatrix x = makeMatrix(1024, 1, [](std::int32_t i, std::int32_t) { return kValues[i % 4]; });
  const RealMatrix y = makeMatrix(
      1024, 1, [](std::int32_t i, std::int32_t) { return i % 4 == 1 ? 1.0 : (i % 8 < 4 ? 0.0 : 0.5); });
  const PairBoxcountResult r = PairBoxcount(x, y);
  ASSERT_EQ(r.reliable.joint, 16);
  ASSERT_NE(atLevel(r, 15), atLevel(r, 16));
  NullProgress progress;
  const RealMatrix S = InputSignificance(x, y, progress, withThreads(1));
  EXPECT_DOUBLE_EQ(S(0, 0), std::max(0.0, atLevel(r, 15)));
  EXPECT_GT(S(0, 0), 0.0);
}

TEST(InputSignificance, PairWithoutReliableLevelIsEvaluatedAtLevel1) {
  // n = 16 spread evenly over the four level-1 joint boxes: H_AB(1) = 2 = ½·log2 16.
  const RealMatrix x =
      makeMatrix(16, 1, [](std::int32_t i, std::int32_t) { return i % 4 < 2 ? i * 0.01 : 1.0 - i * 0.01; });
  const RealMatrix y =
      makeMatrix(16, 1, [](std::int32_t i, std::int32_t) { return i % 2 == 0 ? i * 0.01 : 1.0 - i * 0.01; });
  const PairBoxcountResult r = PairBoxcount(x, y);
  ASSERT_EQ(r.reliable.joint, 0);
  NullProgress progress;
  const RealMatrix S = InputSignificance(x, y, progress, withThreads(1));
  EXPECT_DOUBLE_EQ(S(0, 0), std::max(0.0, atLevel(r, 1)));
}

TEST(InputSignificance, NegativeEstimatesAndConstantOutputsAreZero) {
  constexpr std::int32_t n = 2048;
  const RealMatrix X = test::uniformMatrix(n, 3, 5);
  const RealMatrix noise = test::uniformMatrix(n, 1, 6);
  const RealMatrix Y =
      makeMatrix(n, 2, [&](std::int32_t i, std::int32_t c) { return c == 0 ? noise(i, 0) : 7.0; });
  NullProgress progress;
  const RealMatrix S = InputSignificance(X, Y, progress, withThreads(1));
  ASSERT_EQ(S.Rows(), 2);
  ASSERT_EQ(S.Cols(), 3);
  for (std::int32_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(std::isfinite(S(0, i)));
    EXPECT_GE(S(0, i), 0.0);
    EXPECT_LT(S(0, i), 0.05);  // independent noise
    EXPECT_EQ(S(1, i), 0.0);   // constant output
  }
}

TEST(InputSignificance, RanksTheInputsOfAKnownRelationAboveNoise) {
  // y = f(x1, x2, x3) + noise with seven noise inputs.
  constexpr std::int32_t n = 5000;
  const RealMatrix X = test::uniformMatrix(n, 10, 71);
  std::mt19937 engine(72);
  std::normal_distribution<double> noise(0.0, 0.1);
  const RealMatrix y = makeMatrix(n, 1, [&](std::int32_t i, std::int32_t) {
    return 1.5 * X(i, 0) + std::sin(3.0 * X(i, 1)) + X(i, 2) * X(i, 2) + noise(engine);
  });
  NullProgress progress;
  const RealMatrix S = InputSignificance(X, y, progress, withThreads(1));
  const double weakestRelevant = std::min({S(0, 0), S(0, 1), S(0, 2)});
  for (std::int32_t i = 3; i < 10; ++i) EXPECT_LT(S(0, i), weakestRelevant) << "x" << i + 1;
  for (std::int32_t i = 3; i < 10; ++i) EXPECT_LT(S(0, i), 0.03) << "x" << i + 1;
}

TEST(InputSignificance, BenchmarkRelationPutsX2X5X8OnTop) {
  // y = 2·x2 + sin(3·x5) + x8² + 0.1·N(0, 1), ten inputs, as in the benchmark workload.
  constexpr std::int32_t n = 10000;
  const RealMatrix X = test::uniformMatrix(n, 10, 81);
  std::mt19937 engine(82);
  std::normal_distribution<double> noise(0.0, 1.0);
  const RealMatrix y = makeMatrix(n, 1, [&](std::int32_t i, std::int32_t) {
    return 2.0 * X(i, 1) + std::sin(3.0 * X(i, 4)) + X(i, 7) * X(i, 7) + 0.1 * noise(engine);
  });
  NullProgress progress;
  const RealMatrix S = InputSignificance(X, y, progress, withThreads(2));
  std::vector<std::int32_t> top = ranking(S, 0);
  top.resize(3);
  std::sort(top.begin(), top.end());
  EXPECT_EQ(top, (std::vector<std::int32_t>{1, 4, 7}));
}

TEST(InputSignificance, DiabetesTargetRanksBmiAndS5Highly) {
  const test::CsvTable table = test::readCsvWithId(lumivane::test::samplePath("diabetes.csv"));
  ASSERT_EQ(table.names.size(), 11u);
  ASSERT_EQ(table.rows.size(), 442u);
  const RealMatrix X = table.columns({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  const RealMatrix y = table.columns({10});
  NullProgress progress;
  const RealMatrix S = InputSignificance(X, y, progress, withThreads(1));
  const std::vector<std::int32_t> order = ranking(S, 0);
  std::string shown;
  for (std::int32_t i : order) shown += table.names[i] + " ";
  // The published stepwise order begins bmi, s5_ltg; a boxcounting estimate on 442 rows is
  // coarser, so ask only that both are among the three most significant.
  auto rankOf = [&](const std::string& name) {
    for (std::size_t r = 0; r < order.size(); ++r) {
      if (table.names[order[r]] == name) return static_cast<int>(r);
    }
    return -1;
  };
  EXPECT_LT(rankOf("bmi"), 3) << shown;
  EXPECT_LT(rankOf("s5_ltg"), 3) << shown;
  // sex is a two-valued column with little bearing on progression.
  EXPECT_GT(rankOf("sex"), 3) << shown;
}

TEST(InputSignificance, ThreadCountDoesNotChangeResultsOrProgress) {
  constexpr std::int32_t n = 3000;
  const RealMatrix X = test::uniformMatrix(n, 5, 91);
  const RealMatrix Y = makeMatrix(n, 3, [&](std::int32_t i, std::int32_t c) {
    return c == 0 ? X(i, 0) * X(i, 1) : c == 1 ? std::cos(4.0 * X(i, 3)) : X(i, 4) - X(i, 2);
  });
  test::RecordingProgress one, four;
  const RealMatrix S1 = InputSignificance(X, Y, one, withThreads(1));
  const RealMatrix S4 = InputSignificance(X, Y, four, withThreads(4));
  for (std::int32_t j = 0; j < 3; ++j) {
    for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(S1(j, i), S4(j, i)) << j << "," << i;
  }
  // Progress after each of the 15 pairs: 100 · done / 15, integer division.
  std::vector<int> expected{0};
  for (int done = 1; done <= 15; ++done) expected.push_back(100 * done / 15);
  EXPECT_EQ(one.texts(), (std::vector<std::string>{"Finding significant inputs..."}));
  EXPECT_EQ(one.positionsAfterText(0), expected);
  EXPECT_EQ(four.positionsAfterText(0), expected);
}

TEST(InputSignificance, OneInputGivesOneColumn) {
  const RealMatrix X = test::uniformMatrix(500, 1, 3);
  const RealMatrix Y =
      makeMatrix(500, 2, [&](std::int32_t i, std::int32_t c) { return c == 0 ? X(i, 0) : -X(i, 0); });
  NullProgress progress;
  const RealMatrix S = InputSignificance(X, Y, progress, withThreads(0));
  ASSERT_EQ(S.Rows(), 2);
  ASSERT_EQ(S.Cols(), 1);
  EXPECT_GT(S(0, 0), 0.5);
  EXPECT_GT(S(1, 0), 0.5);
}

TEST(InputSignificance, RowCountsMustAgree) {
  NullProgress progress;
  EXPECT_THROW(InputSignificance(test::uniformMatrix(10, 2, 1), test::uniformMatrix(12, 1, 2), progress),
               IllegalMatrixSizeException);
}

}  // namespace
}  // namespace significance
