#include "mlp/significance/output_predictability.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "shared/exceptions.h"
#include "significance_test_data.h"

namespace significance {
namespace {

using test::makeMatrix;

TEST(LinearBits, IsTheLog2RatioBoundedBySixteenBits) {
  EXPECT_DOUBLE_EQ(linearBits(1.0, 0.5), 1.0);
  EXPECT_DOUBLE_EQ(linearBits(2.0, 2.0), 0.0);
  EXPECT_DOUBLE_EQ(linearBits(1.0, 1.0 / 1024), 10.0);
  // An exact fit and a fit finer than 1 part in 2^16 both count as the full 16 bits.
  EXPECT_EQ(linearBits(1.0, 0.0), kLinearBitsCap);
  EXPECT_EQ(linearBits(1.0, 1e-12), kLinearBitsCap);
  EXPECT_EQ(kLinearBitsCap, 16.0);
  // Nothing to predict.
  EXPECT_EQ(linearBits(0.0, 0.0), 0.0);
  EXPECT_EQ(linearBits(std::nan(""), 1.0), 0.0);
}

TEST(TanhTransform, SqueezesStandardisedColumnsAndZeroesConstantOnes) {
  // Column 0: mean 2, std 1 (values 1, 2, 3); column 1 constant.
  const RealMatrix m =
      makeMatrix(3, 2, [](std::int32_t i, std::int32_t c) { return c == 0 ? i + 1.0 : 5.0; });
  const RealMatrix t = tanhTransform(m);
  EXPECT_NEAR(t(0, 0), std::tanh(-0.9), 1e-15);
  EXPECT_NEAR(t(1, 0), 0.0, 1e-15);
  EXPECT_NEAR(t(2, 0), std::tanh(0.9), 1e-15);
  for (std::int32_t i = 0; i < 3; ++i) EXPECT_EQ(t(i, 1), 0.0);
}

TEST(OutputPredictability, DeterministicOutputIsPredictableAndNoiseIsNot) {
  constexpr std::int32_t n = 4000;
  const RealMatrix X = test::uniformMatrix(n, 3, 21);
  const RealMatrix f = makeMatrix(
      n, 1, [&](std::int32_t i, std::int32_t) { return std::sin(3.0 * X(i, 0)) + X(i, 1) * X(i, 1); });
  const RealMatrix noise = test::uniformMatrix(n, 1, 22);
  NullProgress progress;
  const Predictability pf = OutputPredictability(X, f, 0, progress);
  const Predictability pn = OutputPredictability(X, noise, 0, progress);
  // The coarse reliable levels of a 3-input join see about one bit of this function.
  EXPECT_GT(pf.lower, 0.8);
  EXPECT_GE(pf.upper, pf.lower);
  EXPECT_LT(pn.upper, 0.1);
  EXPECT_LT(pn.lower, pn.upper);
  EXPECT_GT(pf.lower, pn.upper + 0.7);
}

TEST(OutputPredictability, StepTableFollowsTheLoop) {
  constexpr std::int32_t n = 3000;
  const RealMatrix X = test::uniformMatrix(n, 4, 31);
  std::mt19937 engine(32);
  std::normal_distribution<double> noise(0.0, 0.05);
  const RealMatrix y =
      makeMatrix(n, 1, [&](std::int32_t i, std::int32_t) { return X(i, 2) + noise(engine); });
  NullProgress progress;
  const Predictability p = OutputPredictability(X, y, 0, progress);
  const RealMatrix& s = p.steps;
  ASSERT_EQ(s.Cols(), kPredictabilityColumns);
  ASSERT_GE(s.Rows(), 2);
  // Every complete step has a reliable level, and upper = linear + residual information.
  for (std::int32_t k = 0; k + 1 < s.Rows(); ++k) {
    EXPECT_GE(s(k, kStepLevelColumn), 1.0);
    EXPECT_DOUBLE_EQ(s(k, kUpperBitsColumn), s(k, kLinearBitsColumn) + s(k, kResidualBitsColumn));
    EXPECT_LE(s(k, kLowerBitsColumn), s(k, kUpperBitsColumn));
  }
  // The result is the best step's row.
  EXPECT_EQ(p.upper, s(p.bestStep, kUpperBitsColumn));
  EXPECT_EQ(p.lower, s(p.bestStep, kLowerBitsColumn));
  for (std::int32_t k = 0; k + 1 < s.Rows(); ++k) EXPECT_LE(s(k, kUpperBitsColumn), p.upper);
  // y is almost linear in one input: the linear part carries most of the information.
  EXPECT_GT(s(p.bestStep, kLinearBitsColumn), 2.0);
}

TEST(OutputPredictability, NoReliableLevelAtTheFirstStepGivesZeroAndZero) {
  // n = 4 points: every level-1 entropy is already ½·log2 4 = 1 bit.
  const RealMatrix X = makeMatrix(4, 1, [](std::int32_t i, std::int32_t) { return i; });
  const RealMatrix y = makeMatrix(4, 1, [](std::int32_t i, std::int32_t) { return (i * 7) % 3; });
  NullProgress progress;
  const Predictability p = OutputPredictability(X, y, 0, progress);
  EXPECT_EQ(p.upper, 0.0);
  EXPECT_EQ(p.lower, 0.0);
  EXPECT_EQ(p.bestStep, 0);
  EXPECT_EQ(p.steps.Rows(), 1);
}

TEST(OutputPredictability, ExactLinearFitIsBoundedNotInfinite) {
  constexpr std::int32_t n = 2000;
  const RealMatrix X = test::uniformMatrix(n, 2, 41);
  // y = the first input: after the same tanh transform on both sides, the two principal-
  // component scores reproduce it exactly (residual of rounding size only).
  const RealMatrix y = makeMatrix(n, 1, [&](std::int32_t i, std::int32_t) { return X(i, 0); });
  NullProgress progress;
  const Predictability p = OutputPredictability(X, y, 0, progress);
  for (std::int32_t k = 0; k < p.steps.Rows(); ++k) {
    for (std::int32_t c = 0; c < kPredictabilityColumns; ++c) EXPECT_TRUE(std::isfinite(p.steps(k, c)));
  }
  // The full 16 bits of resolution and no further information from the rounding noise.
  EXPECT_EQ(p.upper, kLinearBitsCap);
  EXPECT_EQ(p.steps(p.bestStep, kResidualBitsColumn), 0.0);
  EXPECT_LT(p.lower, p.upper);
  EXPECT_GT(p.lower, kLinearBitsCap - 0.5);
}

TEST(OutputPredictability, ConstantOutputHasNoLinearInformation) {
  const RealMatrix X = test::uniformMatrix(500, 2, 42);
  const RealMatrix y = makeMatrix(500, 1, [](std::int32_t, std::int32_t) { return 3.0; });
  NullProgress progress;
  const Predictability p = OutputPredictability(X, y, 0, progress);
  EXPECT_TRUE(std::isfinite(p.upper));
  EXPECT_TRUE(std::isfinite(p.lower));
  EXPECT_EQ(p.steps(0, kLinearBitsColumn), 0.0);
  EXPECT_EQ(p.steps(0, kResidualBitsColumn), 0.0);
  EXPECT_LE(p.upper, 0.0);
}

TEST(OutputPredictability, OneInputRunsOneStep) {
  constexpr std::int32_t n = 1000;
  const RealMatrix X = test::uniformMatrix(n, 1, 51);
  const RealMatrix y = makeMatrix(n, 1, [&](std::int32_t i, std::int32_t) { return X(i, 0) * X(i, 0); });
  test::RecordingProgress progress;
  const Predictability p = OutputPredictability(X, y, 2, progress);
  EXPECT_EQ(p.steps.Rows(), 2);  // the step and the zero row appended after it
  EXPECT_GT(p.upper, 1.0);
  // Progress: text with the 1-based output number, 0 %, the step at 0 %, then 100 %.
  ASSERT_EQ(progress.texts(), (std::vector<std::string>{"3-th output: Performing boxcounting..."}));
  EXPECT_EQ(progress.positionsAfterText(0), (std::vector<int>{0, 0, 100}));
  // The run ends in one finish that hands the documented 100 ms pause to the sink, which
  // decides whether to wait (a recorder does not).
  EXPECT_EQ(progress.finishes, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(100)}));
}

TEST(OutputPredictability, ProgressRisesByStep) {
  constexpr std::int32_t n = 2000;
  const RealMatrix X = test::uniformMatrix(n, 3, 61);
  const RealMatrix y =
      makeMatrix(n, 1, [&](std::int32_t i, std::int32_t) { return X(i, 0) + X(i, 1) * X(i, 2); });
  test::RecordingProgress progress;
  const Predictability p = OutputPredictability(X, y, 0, progress);
  ASSERT_EQ(progress.texts(), (std::vector<std::string>{"1-th output: Performing boxcounting..."}));
  std::vector<int> expected{0};
  for (std::int32_t k = 0; k < p.steps.Rows() && k < 3; ++k) expected.push_back(100 * k / 3);
  expected.push_back(100);
  EXPECT_EQ(progress.positionsAfterText(0), expected);
}

TEST(OutputPredictability, RowCountMismatchIsRefused) {
  const RealMatrix X = test::uniformMatrix(10, 2, 1);
  const RealMatrix y = test::uniformMatrix(9, 1, 2);
  NullProgress progress;
  try {
    OutputPredictability(X, y, 0, progress);
    FAIL() << "no exception";
  } catch (const MyException& e) {
    EXPECT_STREQ(e.what(), "Matrix size contradicts linear algebra!");
  }
}

}  // namespace
}  // namespace significance
