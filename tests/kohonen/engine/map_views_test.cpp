#include "kohonen/engine/map_views.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kohonen/engine/cell_index.h"
#include "kohonen_test_helpers.h"

using kohonen_test::matrixOf;
using kohonen_test::setCells;

namespace {

using kohonen::allCellNames;
using kohonen::cellName;

TEST(CellNames, LettersForRowsNumbersForColumns) {
  EXPECT_EQ(cellName(0, 0), "A1");
  EXPECT_EQ(cellName(2, 11), "C12");
  EXPECT_EQ(cellName(25, 0), "Z1");
  EXPECT_EQ(cellName(26, 0), "AA1");
  EXPECT_EQ(cellName(53, 4), "BB5");
  EXPECT_EQ(cellName(254, 254), "IU255");
  EXPECT_EQ(kohonen::rowLetters(255), "IV");
  EXPECT_EQ(allCellNames(2, 2), (std::vector<std::string>{"A1", "A2", "B1", "B2"}));
}

// A 1 × 3 map with cells at 0, 10 and 20 (dimension 1) and rows falling into cells 0, 2, 0, 2, 2.
struct LineFixture : ::testing::Test {
  LineFixture() : net(1, 3, 1), data(matrixOf(5, 1, {1, 19, -2, 21, 16})) { setCells(net, {0, 10, 20}); }
  KohonenNet net;
  RealMatrix data;
};

TEST_F(LineFixture, IndexGroupsRowsByCellInRowOrder) {
  CellIndex index;
  index.rebuild(net, data);
  EXPECT_EQ(index.count(0, 0), 2);
  EXPECT_EQ(index.count(0, 1), 0);
  const auto rows = index.rowsIn(0, 2);
  EXPECT_EQ(std::vector<std::int32_t>(rows.begin(), rows.end()), (std::vector<std::int32_t>{1, 3, 4}));
  EXPECT_EQ(index.cellOf(2), (CellPos{0, 0}));
  EXPECT_TRUE(index.rowsIn(1, 0).empty());  // outside the map
  index.clear();
  EXPECT_TRUE(index.empty());
}

TEST_F(LineFixture, AveragesHitsAndEmptyCells) {
  const std::vector<double> f = {1, 2, 3, 4, 6};
  const MapGrid a = featureAverages(net, data, f);
  EXPECT_DOUBLE_EQ(a(0, 0), 2.0);
  EXPECT_TRUE(std::isnan(a(0, 1)));
  EXPECT_DOUBLE_EQ(a(0, 2), 4.0);
  const MapGrid h = hitCounts(net, data);
  EXPECT_EQ(h.values, (std::vector<double>{2, 0, 3}));
  EXPECT_THROW(featureAverages(net, data, std::vector<double>{1, 2}), IllegalMatrixSizeException);
}

TEST_F(LineFixture, AverageClassesPutTheMaximumInTheTopClass) {
  const std::vector<double> f = {1, 2, 3, 4, 6};  // averages 2 and 4
  const ColourClasses cc = colourByAverage(net, data, f, 4);
  EXPECT_EQ(cc.classes.values, (std::vector<double>{0, -1, 3}));
  EXPECT_EQ(cc.lower, (std::vector<double>{2.0, 2.5, 3.0, 3.5}));
  EXPECT_EQ(cc.upper, (std::vector<double>{2.5, 3.0, 3.5, 4.0}));
}

TEST_F(LineFixture, EqualAveragesAreAllClassZero) {
  const std::vector<double> f = {3, 1, 3, 5, 3};  // both cells average 3
  const ColourClasses cc = colourByAverage(net, data, f, 3);
  EXPECT_EQ(cc.classes.values, (std::vector<double>{0, -1, 0}));
  EXPECT_EQ(cc.lower, (std::vector<double>{3, 3, 3}));
  EXPECT_EQ(cc.upper, (std::vector<double>{3, 3, 3}));
}

TEST_F(LineFixture, ExistenceNeedsAPositiveAverage) {
  EXPECT_EQ(colourByExistence(net, data, std::vector<double>{-1, -2, -3, -4, -6}).values,
            (std::vector<double>{0, -1, 0}));
  EXPECT_EQ(colourByExistence(net, data, std::vector<double>{1, -2, -1, 0, 5}).values,  // averages 0 and 1
            (std::vector<double>{0, -1, 1}));
}

TEST(NeighbourDistanceViews, HandBuiltMap) {
  KohonenNet net(2, 2, 2);
  setCells(net, {0, 0, 3, 4, 1, 1, 3, 3});
  const NeighbourDistances d = neighbourDistances(net);
  ASSERT_EQ(d.horizontal.rows, 2);
  ASSERT_EQ(d.horizontal.columns, 1);
  ASSERT_EQ(d.vertical.rows, 1);
  ASSERT_EQ(d.vertical.columns, 2);
  EXPECT_DOUBLE_EQ(d.horizontal(0, 0), std::sqrt(25.0 / 2));  // (0,0)–(0,1)
  EXPECT_DOUBLE_EQ(d.horizontal(1, 0), std::sqrt(8.0 / 2));   // (1,0)–(1,1)
  EXPECT_DOUBLE_EQ(d.vertical(0, 0), std::sqrt(2.0 / 2));     // (0,0)–(1,0)
  EXPECT_DOUBLE_EQ(d.vertical(0, 1), std::sqrt(1.0 / 2));     // (0,1)–(1,1)
}

TEST(NeighbourDistanceViews, OneRowAndOneColumnNets) {
  const NeighbourDistances row = neighbourDistances(KohonenNet(1, 4, 2));
  EXPECT_EQ(row.horizontal.rows, 1);
  EXPECT_EQ(row.horizontal.columns, 3);
  EXPECT_EQ(row.vertical.rows, 0);
  EXPECT_TRUE(row.vertical.values.empty());
  const NeighbourDistances column = neighbourDistances(KohonenNet(4, 1, 2));
  EXPECT_EQ(column.horizontal.columns, 0);
  EXPECT_TRUE(column.horizontal.values.empty());
  EXPECT_EQ(column.vertical.rows, 3);
}

TEST_F(LineFixture, PictureForBothModes) {
  const std::vector<double> f = {1, 2, 3, 4, 6};
  const std::vector<MapColour> two = {{255, 0, 0}, {0, 0, 255}};
  const MapPicture existence = buildMapPicture(net, data, f, "size", MapMode::Existence, 7, two);
  EXPECT_EQ(existence.title, "sizeexistence  map");
  EXPECT_EQ(existence.classes.values, (std::vector<double>{1, -1, 1}));
  EXPECT_TRUE(existence.lower.empty());
  EXPECT_EQ(existence.hits.values, (std::vector<double>{2, 0, 3}));
  EXPECT_EQ(existence.colours, two);

  const std::vector<MapColour> three = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
  const MapPicture average = buildMapPicture(net, data, f, "size", MapMode::Average, 3, three);
  EXPECT_EQ(average.title, "size map");
  EXPECT_EQ(average.classes.values, (std::vector<double>{0, -1, 2}));
  EXPECT_EQ(average.lower.size(), 3u);
  EXPECT_EQ(average.horizontal.columns, 2);
  EXPECT_THROW(buildMapPicture(net, data, f, "size", MapMode::Average, 4, three), IllegalSizeException);
}

}  // namespace
