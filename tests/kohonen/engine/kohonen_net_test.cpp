#include "kohonen/engine/kohonen_net.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kohonen_test_helpers.h"
#include "platform/random.h"

using kohonen_test::allWeights;
using kohonen_test::matrixOf;
using kohonen_test::setCells;

namespace {

TEST(KohonenKernel, GaussianOfTheGridOffset) {
  KohonenNet net(11, 2, 1);
  net.setStiffness(1.0);
  const RealMatrix& k = net.kernel();
  EXPECT_EQ(k(0, 0), 1.0);
  EXPECT_DOUBLE_EQ(k(0, 1), std::exp(-0.5));
  EXPECT_DOUBLE_EQ(k(1, 0), std::exp(-0.5));
  EXPECT_DOUBLE_EQ(k(1, 1), std::exp(-1.0));
  EXPECT_DOUBLE_EQ(k(3, 0), std::exp(-4.5));
  net.setStiffness(2.0);
  EXPECT_DOUBLE_EQ(net.kernel()(1, 1), std::exp(-0.25));
}

TEST(KohonenKernel, CutToExactZeroAboveFifty) {
  KohonenNet net(11, 2, 1);
  net.setStiffness(1.0);
  // (10, 0): q = 100 / 2 = 50 is kept; (10, 1): q = 50.5 is cut.
  EXPECT_DOUBLE_EQ(net.kernel()(10, 0), std::exp(-50.0));
  EXPECT_GT(net.kernel()(10, 0), 0.0);
  EXPECT_EQ(net.kernel()(10, 1), 0.0);
}

TEST(KohonenKernel, StiffnessZeroOrNegativeKeepsOnlyTheWinner) {
  for (double s : {0.0, -3.0, 0.00005}) {
    KohonenNet net(3, 3, 1);
    net.setStiffness(s);
    // Without the floor on σ, 0/0 would turn the winner's own weight into nothing.
    EXPECT_EQ(net.kernel()(0, 0), 1.0) << s;
    EXPECT_EQ(net.kernel()(0, 1), 0.0) << s;
    EXPECT_EQ(net.kernel()(1, 0), 0.0) << s;
    EXPECT_EQ(net.kernel()(2, 2), 0.0) << s;
  }
}

TEST(KohonenDistance, RootMeanSquare) {
  KohonenNet net(1, 2, 2);
  setCells(net, {1, 2, 0, 0});
  const double x[] = {4, 6};
  EXPECT_DOUBLE_EQ(net.cellDistance(0, 0, x), std::sqrt(25.0 / 2.0));
  EXPECT_DOUBLE_EQ(net.cellDistance(0, 1, x), std::sqrt(52.0 / 2.0));
}

TEST(KohonenWinner, StrictImprovementFirstInRowMajorOrder) {
  KohonenNet net(2, 2, 1);
  const double x[] = {0.0};
  setCells(net, {3, 1, 1, 5});  // (0, 1) and (1, 0) tie
  EXPECT_EQ(net.findWinner(x), (CellPos{0, 1}));
  setCells(net, {1, 1, 1, 1});
  EXPECT_EQ(net.findWinner(x), (CellPos{0, 0}));
  setCells(net, {2, 1, -0.5, 0.5});  // (1, 0) and (1, 1) tie at 0.5
  EXPECT_EQ(net.findWinner(x), (CellPos{1, 0}));
  setCells(net, {2, 1, 0.75, 0.5});
  EXPECT_EQ(net.findWinner(x), (CellPos{1, 1}));
  // A distance that is not a number never compares smaller: the first cell stays the winner.
  setCells(net, {std::numeric_limits<double>::quiet_NaN(), 0, 0, 0});
  EXPECT_EQ(net.findWinner(x), (CellPos{0, 0}));
}

TEST(KohonenTraining, OneOnlineStepOnTwoByTwoMap) {
  KohonenNet net(2, 2, 2);
  setCells(net, {0, 0, 1, 0, 0, 1, 1, 1});
  net.setStiffness(1.0);
  net.trainEpoch(matrixOf(1, 2, {0.2, 0.1}), 0.5);
  const double e5 = std::exp(-0.5), e1 = std::exp(-1.0);
  const double expected[] = {0.1,      0.05,          1 - 0.4 * e5, 0.05 * e5,
                             0.1 * e5, 1 - 0.45 * e5, 1 - 0.4 * e1, 1 - 0.45 * e1};
  const std::vector<double> w = allWeights(net);
  for (std::size_t i = 0; i < w.size(); ++i) EXPECT_NEAR(w[i], expected[i], 1e-15) << i;
}

TEST(KohonenTraining, NeighboursOnBothSidesOfTheWinner) {
  KohonenNet net(1, 3, 1);
  setCells(net, {0, 5, 10});
  net.setStiffness(1.0);
  net.trainEpoch(matrixOf(1, 1, {5.5}), 1.0);
  EXPECT_DOUBLE_EQ(net.weight(0, 0, 0), std::exp(-0.5) * 5.5);
  EXPECT_DOUBLE_EQ(net.weight(0, 1, 0), 5.5);
  EXPECT_DOUBLE_EQ(net.weight(0, 2, 0), 10 + std::exp(-0.5) * (5.5 - 10));
}

TEST(KohonenTraining, EachRowSeesTheWeightsLeftByThePreviousRow) {
  KohonenNet net(1, 2, 1);
  setCells(net, {0, 1});
  net.setStiffness(0.0);
  // 0.9 pulls cell 1 to 0.9; 0.47 is then nearer to cell 1 (it was nearer to cell 0 before).
  net.trainEpoch(matrixOf(2, 1, {0.9, 0.47}), 1.0);
  EXPECT_EQ(net.weight(0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(net.weight(0, 1, 0), 0.47);
}

TEST(KohonenTraining, CellsWithZeroKernelAreNotTouched) {
  KohonenNet net(12, 1, 1);
  for (int r = 0; r < 12; ++r) net.setWeight(r, 0, 0, 0.0);
  net.setStiffness(1.0);
  // An infinite component would turn 0 · (x − w) into NaN in any cell the update visited.
  net.trainEpoch(matrixOf(1, 1, {std::numeric_limits<double>::infinity()}), 0.1);
  EXPECT_TRUE(std::isinf(net.weight(10, 0, 0)));  // offset 10: q = 50, still learns
  EXPECT_EQ(net.weight(11, 0, 0), 0.0);           // offset 11: q = 60.5, untouched
}

TEST(KohonenTraining, WinnerTakesAllLeavesEveryOtherCellBitForBit) {
  platform::crtSrand(3);
  KohonenNet net(3, 3, 2);
  const std::vector<double> before = allWeights(net);
  net.setStiffness(0.0);
  const double x[] = {0.3, -0.2};
  const CellPos w = net.findWinner(x);
  net.trainEpoch(matrixOf(1, 2, {0.3, -0.2}), 0.25);
  const std::vector<double> after = allWeights(net);
  for (std::size_t i = 0; i < after.size(); ++i) {
    const bool winner = static_cast<std::int32_t>(i / 2) == w.row * 3 + w.column;
    if (winner)
      EXPECT_NE(after[i], before[i]);
    else
      EXPECT_EQ(after[i], before[i]);
  }
}

TEST(KohonenTraining, DataOfAnotherWidthIsRefused) {
  KohonenNet net(2, 2, 3);
  EXPECT_THROW(net.trainEpoch(matrixOf(1, 2, {1, 2}), 0.1), IllegalMatrixSizeException);
}

TEST(KohonenRandomize, CellsInIndexOrderComponentsInOrder) {
  platform::crtSrand(7);
  KohonenNet net(2, 1, 3);
  platform::crtSrand(7);
  std::vector<double> expected;
  for (int i = 0; i < 6; ++i) expected.push_back(1.0 * ((platform::crtRand() % 10000) * 0.0001) * 2 - 1.0);
  EXPECT_EQ(allWeights(net), expected);
}

TEST(KohonenRandomize, ValuesOnTheGridOfTheAmplitude) {
  KohonenNet net(5, 5, 4);
  net.randomize(2.5);
  for (double w : allWeights(net)) {
    EXPECT_GE(w, -2.5);
    EXPECT_LT(w, 2.5);
    const double steps = (w + 2.5) / (0.0002 * 2.5);
    EXPECT_NEAR(steps, std::round(steps), 1e-6);
  }
}

TEST(KohonenConstruct, SizesBelowOneAndAbsurdSizesAreRefused) {
  EXPECT_THROW(KohonenNet(0, 3, 2), IllegalSizeException);
  EXPECT_THROW(KohonenNet(3, 3, -1), IllegalSizeException);
  try {
    KohonenNet net(255, 255, 1 << 20);
    FAIL() << "allocated " << net.cellCount();
  } catch (const OutOfMemoryException& e) {
    EXPECT_STREQ(e.what(), "Out of memory");
  }
}

// Data around the mean (5, −3, 1) with variance 8/3 along x, 2/3 along y and none along z.
RealMatrix crossData() {
  return matrixOf(4, 3, {7, -3, 1, 3, -3, 1, 5, -2, 1, 5, -4, 1});
}

TEST(KohonenPcInit, CornersAndInnerRowsWhereTheFormulaPutsThem) {
  KohonenNet net(4, 3, 3);
  net.initFromPrincipalComponents(crossData());
  const double s1 = std::sqrt(8.0 / 3.0), s2 = std::sqrt(2.0 / 3.0);
  // Eigenvectors are defined up to sign; take the signs from the corner (0, 0).
  const double sx = net.weight(0, 0, 0) < 5 ? 1.0 : -1.0;
  const double sy = net.weight(0, 0, 1) < -3 ? 1.0 : -1.0;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 3; ++c) {
      // Row 1 of 4 sits at −σ₁/3: integer division (2·1/3 = 0) would put it on row 0.
      const double a = (2.0 * r / 3.0 - 1.0) * s1;
      const double b = (2.0 * c / 2.0 - 1.0) * s2;
      EXPECT_NEAR(net.weight(r, c, 0), 5 + sx * a, 1e-12) << r << c;
      EXPECT_NEAR(net.weight(r, c, 1), -3 + sy * b, 1e-12) << r << c;
      EXPECT_NEAR(net.weight(r, c, 2), 1, 1e-12) << r << c;
    }
  }
}

TEST(KohonenPcInit, OneRowNetSpreadsAlongTheSecondComponentOnly) {
  KohonenNet net(1, 4, 3);
  net.initFromPrincipalComponents(crossData());
  const double s2 = std::sqrt(2.0 / 3.0);
  for (int c = 0; c < 4; ++c) {
    EXPECT_NEAR(net.weight(0, c, 0), 5, 1e-12);
    EXPECT_NEAR(std::abs(net.weight(0, c, 1) + 3), std::abs(2.0 * c / 3.0 - 1.0) * s2, 1e-12);
  }
  EXPECT_NEAR(std::abs(net.weight(0, 0, 1) - net.weight(0, 3, 1)), 2 * s2, 1e-12);
}

TEST(KohonenPcInit, OneByOneNetSitsAtTheColumnMeans) {
  KohonenNet net(1, 1, 3);
  net.initFromPrincipalComponents(crossData());
  EXPECT_DOUBLE_EQ(net.weight(0, 0, 0), 5);
  EXPECT_DOUBLE_EQ(net.weight(0, 0, 1), -3);
  EXPECT_DOUBLE_EQ(net.weight(0, 0, 2), 1);
}

TEST(KohonenPcInit, OneColumnDataKeepsTheRandomWeights) {
  KohonenNet net(2, 2, 1);
  const std::vector<double> before = allWeights(net);
  net.initFromPrincipalComponents(matrixOf(3, 1, {1, 2, 4}));
  EXPECT_EQ(allWeights(net), before);
  for (double w : before) {
    EXPECT_GE(w, -1.0);
    EXPECT_LT(w, 1.0);
  }
}

TEST(KohonenTraining, OneByOneNetLearnsTheColumnMeansFromRandomWeights) {
  // The only cell has h = 1 for every row, so small steps carry it from [−1, 1) to the means.
  const RealMatrix data = crossData();
  KohonenNet net(1, 1, 3);
  net.setStiffness(2.0);
  for (int i = 0; i < 300; ++i) net.trainEpoch(data, 0.02);
  EXPECT_NEAR(net.weight(0, 0, 0), 5, 0.05);
  EXPECT_NEAR(net.weight(0, 0, 1), -3, 0.05);
  EXPECT_NEAR(net.weight(0, 0, 2), 1, 1e-9);
}

}  // namespace
