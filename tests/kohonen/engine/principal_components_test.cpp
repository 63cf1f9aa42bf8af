#include "kohonen/engine/principal_components.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kohonen_test_helpers.h"

using kohonen_test::matrixOf;
using kohonen_test::RecordingProgress;

namespace {

TEST(PcDefaultCount, SmallestCountReachingNinetyPercent) {
  EXPECT_EQ(defaultComponentCount(matrixOf(4, 1, {5, 3, 1, 1})), 3);  // 8/10 short, 9/10 reached
  EXPECT_EQ(defaultComponentCount(matrixOf(2, 1, {9, 1})), 1);        // exactly 90 % counts
  EXPECT_EQ(defaultComponentCount(matrixOf(2, 1, {8.9, 1.1})), 2);
  EXPECT_EQ(defaultComponentCount(matrixOf(3, 1, {0, 0, 0})), std::nullopt);
  EXPECT_EQ(componentsToKeep(std::nullopt, 3), 3);
  EXPECT_EQ(componentsToKeep(2, 3), 2);
}

TEST(PcDecompose, ReportsAndFinishesAtFullProgress) {
  RecordingProgress progress;
  const RealMatrix data = matrixOf(4, 2, {1, 2, 2, 4.1, 3, 5.9, 4, 8});
  const PcDecomposition pc = decomposeWorkingMatrix(data, progress);
  EXPECT_EQ(progress.texts, std::vector<std::string>{"Principal component analysis"});
  EXPECT_EQ(progress.positions, (std::vector<int>{0, 100}));
  // One finish with the half-second pause of this step; the recorder does not wait it out.
  EXPECT_EQ(progress.finishes, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(500)}));
  ASSERT_EQ(pc.values.Rows(), 2);
  EXPECT_GE(pc.values(0, 0), pc.values(1, 0));
  // Total variance is preserved: trace of the covariance.
  const RealMatrix sd = ColStd(data);
  EXPECT_NEAR(pc.values(0, 0) + pc.values(1, 0), sd(0, 0) * sd(0, 0) + sd(0, 1) * sd(0, 1), 1e-12);
}

TEST(PcProjectionStep, AllComponentsRotateWithoutLoss) {
  const RealMatrix data = matrixOf(5, 3, {1, 0, 2, -1, 3, 0.5, 2, 2, -1, 0.3, -2, 1, -2.3, -3, -2.5});
  NullProgress progress;
  const PcDecomposition pc = decomposeWorkingMatrix(data, progress);
  const PcProjection all = projectOnComponents(data, pc, 3);
  EXPECT_DOUBLE_EQ(all.retainedFraction, 1.0);
  EXPECT_EQ(informationPercent(all.retainedFraction), 100);
  ASSERT_EQ(all.working.Cols(), 3);
  for (int i = 0; i < 5; ++i) {
    double before = 0.0, after = 0.0;
    for (int k = 0; k < 3; ++k) {
      before += data(i, k) * data(i, k);
      after += all.working(i, k) * all.working(i, k);
    }
    EXPECT_NEAR(after, before, 1e-10);  // a rotation keeps the row lengths (not centred)
  }
  const PcProjection one = projectOnComponents(data, pc, 1);
  EXPECT_EQ(one.projection.Rows(), 3);
  EXPECT_EQ(one.projection.Cols(), 1);
  const double total = pc.values(0, 0) + pc.values(1, 0) + pc.values(2, 0);
  EXPECT_DOUBLE_EQ(one.retainedFraction, pc.values(0, 0) / total);
  EXPECT_THROW(projectOnComponents(data, pc, 0), IllegalSizeException);
  EXPECT_THROW(projectOnComponents(data, pc, 4), IllegalSizeException);
}

TEST(PcProjectionStep, PercentIsTruncatedAndTwoColumnsAreNeeded) {
  EXPECT_EQ(informationPercent(0.999), 99);
  EXPECT_EQ(informationPercent(0.5), 50);
  EXPECT_FALSE(principalComponentsPossible(1));
  EXPECT_TRUE(principalComponentsPossible(2));
}

}  // namespace
