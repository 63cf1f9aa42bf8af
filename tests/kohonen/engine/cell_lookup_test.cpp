#include "kohonen/engine/cell_lookup.h"

#include <gtest/gtest.h>

#include "kohonen_test_helpers.h"

using kohonen_test::setCells;

namespace {

// Rows x1, x2 fall into cell A1 and y1, y2 into A2 of a 1 × 2 map on columns a and c.
class CellLookup : public ::testing::Test {
 protected:
  CellLookup() : net(1, 2, 2) {
    table.allocate(3, 4, true);
    table.columnNames = {"a", "b", "c"};
    table.columns = {{1, 2, 9, 10}, {5, 5, 5, 5}, {0, 1, 10, 11}};
    table.rowIds = {"x1", "x2", "y1", "y2"};
    table.loaded = true;
    dataSet.attach(table);
    const std::int32_t chosen[] = {0, 2};
    const NormalisationKind none[] = {NormalisationKind::None, NormalisationKind::None,
                                      NormalisationKind::None};
    dataSet.prepare(chosen, none);
    setCells(net, {1.5, 0.5, 9.5, 10.5});
    index.rebuild(net, dataSet.workingMatrix());
  }

  RawTable table;
  GridwiseDataSet dataSet;
  KohonenNet net;
  CellIndex index;
};

TEST_F(CellLookup, DescriptionOfAFilledCell) {
  const CellDescription d = describeCell(net, index, dataSet, CellPos{0, 1});
  EXPECT_EQ(d.rowIds, (std::vector<std::string>{"y1", "y2"}));
  EXPECT_EQ(d.count, 2);
  EXPECT_EQ(d.centreLines, (std::vector<std::string>{"  9.5 - a", " 10.5 - c"}));
  EXPECT_EQ(d.averageLines, (std::vector<std::string>{"  9.5 - a", "    5 - b", " 10.5 - c"}));
}

TEST_F(CellLookup, EmptyCellListsItsCentreOnly) {
  KohonenNet wide(1, 3, 2);
  setCells(wide, {1.5, 0.5, 9.5, 10.5, 100, 100});
  CellIndex wideIndex;
  wideIndex.rebuild(wide, dataSet.workingMatrix());
  const CellDescription d = describeCell(wide, wideIndex, dataSet, CellPos{0, 2});
  EXPECT_EQ(d.count, 0);
  EXPECT_TRUE(d.rowIds.empty());
  EXPECT_EQ(d.centreLines, (std::vector<std::string>{"  100 - a", "  100 - c"}));
  EXPECT_TRUE(d.averageLines.empty());
}

TEST_F(CellLookup, CentreGoesBackThroughProjectionAndNormaliser) {
  const std::int32_t chosen[] = {0, 2};
  const NormalisationKind kinds[] = {NormalisationKind::MeanVariance, NormalisationKind::None,
                                     NormalisationKind::MinMax};
  dataSet.prepare(chosen, kinds);
  const double p[] = {0.6, 0.8};
  dataSet.applyProjection(RealMatrix(2, 1, p), 0.9);
  KohonenNet projected(1, 1, 1);
  setCells(projected, {0.5});
  // Working units (0.3, 0.4); a: 5.5 + 0.3·sd(a), c: [0, 11] ↦ [−1, 1] so 0.4 ↦ 7.7.
  const double sdA = std::sqrt((4.5 * 4.5 + 3.5 * 3.5 + 3.5 * 3.5 + 4.5 * 4.5) / 3.0);
  const std::vector<double> centre = cellCentre(projected, dataSet, CellPos{0, 0});
  ASSERT_EQ(centre.size(), 2u);
  EXPECT_NEAR(centre[0], 5.5 + 0.3 * sdA, 1e-12);
  EXPECT_NEAR(centre[1], 7.7, 1e-12);
}

TEST_F(CellLookup, FinderSubstringsAndTheCellOfARow) {
  const std::vector<std::string>& ids = dataSet.rowIds();
  EXPECT_EQ(rowsWithIdContaining(ids, "1"), (std::vector<std::int32_t>{0, 2}));
  EXPECT_EQ(rowsWithIdContaining(ids, "y"), (std::vector<std::int32_t>{2, 3}));
  EXPECT_TRUE(rowsWithIdContaining(ids, "").empty());
  EXPECT_TRUE(rowsWithIdContaining(ids, "Y").empty());  // case-sensitive
  EXPECT_TRUE(rowsWithIdContaining(ids, "z").empty());
  EXPECT_EQ(allRows(4), (std::vector<std::int32_t>{0, 1, 2, 3}));
  const FoundRow found = describeFoundRow(index, dataSet, 3);
  EXPECT_EQ(found.cellName, "A2");
  EXPECT_EQ(found.cellRowIds, (std::vector<std::string>{"y1", "y2"}));
}

TEST(CellLookupFormat, FixedWidthGeneralFormat) {
  EXPECT_EQ(describeValue(3.14159, "pi"), " 3.14 - pi");
  EXPECT_EQ(describeValue(123456.0, "big"), "1.23e+05 - big");
  EXPECT_EQ(describeValue(-0.5, "n"), " -0.5 - n");
}

}  // namespace
