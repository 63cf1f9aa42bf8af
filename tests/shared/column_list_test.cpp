#include "shared/column_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

using Columns = std::vector<std::int32_t>;

std::vector<std::int32_t> range(std::int32_t from, std::int32_t to) {
  Columns r;
  for (std::int32_t c = from; c <= to; ++c) r.push_back(c);
  return r;
}

TEST(ColumnLetters, OneAndTwoLettersAtTheirBoundaries) {
  EXPECT_EQ(columnLetters(1), "A");
  EXPECT_EQ(columnLetters(26), "Z");
  EXPECT_EQ(columnLetters(27), "AA");
  EXPECT_EQ(columnLetters(52), "AZ");
  EXPECT_EQ(columnLetters(53), "BA");
  EXPECT_EQ(columnLetters(256), "IV");
  EXPECT_EQ(columnLetters(702), "ZZ");
  EXPECT_EQ(columnLetters(703), "AAA");
  EXPECT_EQ(columnLetters(0), "");
  EXPECT_EQ(cellName(7, 2), "B7");
  EXPECT_EQ(cellName(65536, 256), "IV65536");
}

TEST(ColumnLetters, RoundTripThroughTheFirstCellGrammar) {
  // The letters of every sheet column parse back to that column.
  for (std::int32_t c = 1; c <= 256; ++c) {
    std::int32_t row = 0, column = 0;
    ASSERT_TRUE(parseFirstCell(cellName(9, c), row, column)) << c;
    EXPECT_EQ(column, c);
    EXPECT_EQ(row, 9);
  }
}

TEST(ColumnList, RangesBlanksAndCase) {
  Columns c;
  ASSERT_TRUE(parseColumnList("a-c, e", 256, c));
  EXPECT_EQ(c, (Columns{1, 2, 3, 5}));

  ASSERT_TRUE(parseColumnList("A-E,F,G,K-AA", 256, c));
  Columns expected = range(1, 7);
  for (std::int32_t k : range(11, 27)) expected.push_back(k);
  EXPECT_EQ(c, expected);

  ASSERT_TRUE(parseColumnList("\tB ,\tA", 256, c));
  EXPECT_EQ(c, (Columns{2, 1}));  // the written order, not sorted
  ASSERT_TRUE(parseColumnList("A,A", 256, c));
  EXPECT_EQ(c, (Columns{1, 1}));  // repetitions kept
  ASSERT_TRUE(parseColumnList("A-B-D", 256, c));
  EXPECT_EQ(c, (Columns{1, 2, 3, 4}));  // a chain continues from the last number
  ASSERT_TRUE(parseColumnList("IV", 256, c));
  EXPECT_EQ(c, (Columns{256}));
  ASSERT_TRUE(parseColumnList("A-IV", 256, c));
  EXPECT_EQ(c, range(1, 256));
}

TEST(ColumnList, RefusedListsLeaveTheResultAlone) {
  for (const char* bad :
       {"C-A", "A-A", "A,,B", "-A", "A-", "IW", "", "   ", "A;B", "A1", "A,", "AAAAAAAAAAAAAAAAAAAAAAA"}) {
    Columns c{42};
    EXPECT_FALSE(parseColumnList(bad, 256, c)) << '"' << bad << '"';
    EXPECT_EQ(c, (Columns{42})) << bad;
  }
  Columns c;
  EXPECT_FALSE(parseColumnList("E", 4, c));  // above the host's column count
  EXPECT_TRUE(parseColumnList("D", 4, c));
}

TEST(FirstCell, AcceptedForms) {
  struct Case {
    const char* text;
    std::int32_t row, column;
  };
  for (const Case& k :
       {Case{"a1", 1, 1}, Case{"B3", 3, 2}, Case{"b3", 3, 2}, Case{"AA10", 10, 27}, Case{"B5x", 5, 2},
        Case{"A0", 0, 1}, Case{"IV65536", 65536, 256}, Case{"AAA1", 1, 703}, Case{"C5:D7", 5, 3}}) {
    std::int32_t row = -1, column = -1;
    ASSERT_TRUE(parseFirstCell(k.text, row, column)) << k.text;
    EXPECT_EQ(row, k.row) << k.text;
    EXPECT_EQ(column, k.column) << k.text;
  }
}

TEST(FirstCell, RefusedForms) {
  for (const char* bad :
       {"3B", "B", "B-5", "12", "", " B3", "[3", "$B$3", "AAAAAAAAAAAA1", "A123456789012"}) {
    std::int32_t row = 7, column = 7;
    EXPECT_FALSE(parseFirstCell(bad, row, column)) << '"' << bad << '"';
    EXPECT_EQ(row, 7);
    EXPECT_EQ(column, 7);
  }
}

TEST(FirstCell, ElevenCharacterPartsSaturateInsteadOfWrapping) {
  std::int32_t row = 0, column = 0;
  ASSERT_TRUE(parseFirstCell("AAAAAAAAAAA99999999999", row, column));
  EXPECT_EQ(row, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(column, std::numeric_limits<std::int32_t>::max());
  ASSERT_TRUE(parseFirstCell("Z2147483647", row, column));
  EXPECT_EQ(row, 2147483647);
}

}  // namespace
