#include <gtest/gtest.h>

#include "shared/raw_table.h"

namespace {

TEST(RawTable, AllocateSizesEveryArrayAndClearsLoaded) {
  RawTable table;
  table.loaded = true;
  ASSERT_TRUE(table.allocate(3, 5, true));
  EXPECT_EQ(table.columnCount(), 3);
  EXPECT_EQ(table.rowCount, 5);
  EXPECT_EQ(table.columnNames.size(), 3u);
  EXPECT_EQ(table.rowIds.size(), 5u);
  EXPECT_EQ(table.columns[2].size(), 5u);
  EXPECT_EQ(table.column(1)[4], 0.0);
  EXPECT_FALSE(table.loaded);
  EXPECT_TRUE(table.isConsistent());

  ASSERT_TRUE(table.allocate(2, 4, false));
  EXPECT_TRUE(table.rowIds.empty());
  EXPECT_TRUE(table.isConsistent());
}

TEST(RawTable, NegativeSizesAreRefusedAndLeaveTheTableEmpty) {
  RawTable table;
  ASSERT_TRUE(table.allocate(2, 2, true));
  EXPECT_FALSE(table.allocate(-1, 2, true));
  EXPECT_EQ(table.columnCount(), 0);
  EXPECT_EQ(table.rowCount, 0);
  EXPECT_FALSE(table.allocate(2, -1, false));
}

}  // namespace
