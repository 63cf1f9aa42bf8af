// Quantisation and topographic error of a map, against values worked out by hand and against
// the winners the net itself picks.

#include "kohonen/engine/map_quality.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "shared/exceptions.h"
#include "tests/kohonen/engine/kohonen_test_helpers.h"

namespace {

using kohonen_test::matrixOf;
using kohonen_test::setCells;

TEST(MapQualityTest, TwoByTwoMapWithADiagonalSecondBest) {
  // Cells (0,0)=(0,0), (0,1)=(4,0), (1,0)=(0,4), (1,1)=(0.5,0.5).
  KohonenNet net(2, 2, 2, KohonenNet::Uninitialised{});
  setCells(net, {0, 0, 4, 0, 0, 4, 0.5, 0.5});
  // (0,0): winner (0,0) at 0, second (1,1) on the diagonal: not neighbours.
  // (4,0.2): winner (0,1) at √0.02, second (1,1) just below it.
  // (0,4): winner (1,0) at 0, second (1,1) beside it.
  const RealMatrix data = matrixOf(3, 2, {0, 0, 4, 0.2, 0, 4});
  const MapQuality q = measureMapQuality(net, data);
  EXPECT_EQ(q.rows, 3);
  EXPECT_DOUBLE_EQ(q.quantisationError, std::sqrt(0.04 / 2) / 3);
  EXPECT_DOUBLE_EQ(q.topographicError, 1.0 / 3);
}

TEST(MapQualityTest, GridEdgesDoNotWrapAndTiesGoToTheEarlierCell) {
  KohonenNet line(1, 3, 1, KohonenNet::Uninitialised{});
  setCells(line, {0, 5, 1});
  // 0.4: best cell 0 (0.4), second cell 2 (0.6), two columns apart.
  // 0.5: cells 0 and 2 tie at 0.5; cell 0 wins, cell 2 is second: apart again.
  // 3.0: cells 1 and 2 tie at 2.0; cell 1 wins, cell 2 is second and beside it.
  const MapQuality q = measureMapQuality(line, matrixOf(3, 1, {0.4, 0.5, 3.0}));
  EXPECT_DOUBLE_EQ(q.quantisationError, (0.4 + 0.5 + 2.0) / 3);
  EXPECT_DOUBLE_EQ(q.topographicError, 2.0 / 3);

  // One cell: no second best, nothing broken.
  KohonenNet single(1, 1, 1, KohonenNet::Uninitialised{});
  setCells(single, {1});
  const MapQuality one = measureMapQuality(single, matrixOf(2, 1, {0, 3}));
  EXPECT_DOUBLE_EQ(one.quantisationError, 1.5);
  EXPECT_EQ(one.topographicError, 0.0);

  const MapQuality none = measureMapQuality(single, RealMatrix(0, 1));
  EXPECT_EQ(none.rows, 0);
  EXPECT_EQ(none.quantisationError, 0.0);
  EXPECT_THROW(measureMapQuality(single, matrixOf(1, 2, {0, 0})), IllegalMatrixSizeException);
}

TEST(MapQualityTest, WinnersAreThoseTheNetPicks) {
  // A trained-looking map: random cells, rows scattered over them.
  KohonenNet net(4, 5, 3);
  RealMatrix data(60, 3);
  for (int r = 0; r < 60; ++r)
    for (int k = 0; k < 3; ++k) data(r, k) = std::sin(1.7 * r + 0.9 * k) * 0.8;
  double sum = 0.0;
  for (int r = 0; r < 60; ++r) {
    const double* x = data.data() + r * 3;
    const CellPos w = net.findWinner(x);
    sum += net.cellDistance(w.row, w.column, x);
  }
  const MapQuality q = measureMapQuality(net, data);
  EXPECT_DOUBLE_EQ(q.quantisationError, sum / 60);
}

}  // namespace
