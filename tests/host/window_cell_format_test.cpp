// How cells are shown, typed, copied and summed in the host's grid.
#include <gtest/gtest.h>

#include <cmath>

#include "host/window/cell_format.h"

namespace host {
namespace {

using platform::Variant;

TEST(GeneralNumberTextTest, ShowsWhatAStandardColumnShows) {
  EXPECT_EQ(generalNumberText(0.0), "0");
  EXPECT_EQ(generalNumberText(5.1), "5.1");
  EXPECT_EQ(generalNumberText(-2.5), "-2.5");
  EXPECT_EQ(generalNumberText(0.1 + 0.2), "0.3");
  EXPECT_EQ(generalNumberText(1.0 / 3.0), "0.333333333");
  EXPECT_EQ(generalNumberText(-2.0 / 3.0), "-0.666666667");
  EXPECT_EQ(generalNumberText(5.843333333333335), "5.843333333");
  EXPECT_EQ(generalNumberText(0.000123456789), "0.000123457");
  EXPECT_EQ(generalNumberText(3.14159265358979), "3.141592654");
  EXPECT_EQ(generalNumberText(123456.789012), "123456.789");
  EXPECT_EQ(generalNumberText(1065), "1065");
  // Eleven digits fit, twelve do not.
  EXPECT_EQ(generalNumberText(99999999999.0), "99999999999");
  EXPECT_EQ(generalNumberText(100000000000.0), "1E+11");
  EXPECT_EQ(generalNumberText(-123456789012.0), "-1.23457E+11");
  // Small numbers stay fixed while they fit.
  EXPECT_EQ(generalNumberText(0.00001), "0.00001");
  EXPECT_EQ(generalNumberText(1.23456789e-5), "1.23457E-05");
  EXPECT_EQ(generalNumberText(1e-300), "1E-300");
  EXPECT_EQ(generalNumberText(9.99999999999), "10");
}

// A column that holds this many characters.
FitsColumn columnOf(std::size_t chars) {
  return [chars](std::string_view text) { return text.size() <= chars; };
}

TEST(FittedNumberTextTest, NarrowColumnsRoundToTheDigitsThatFitAndNeverCutThem) {
  // The standard form when it fits.
  EXPECT_EQ(fittedNumberText(1.004702153, columnOf(11)), "1.004702153");
  // Rounded, not cut on the left (".004702153") or the right.
  EXPECT_EQ(fittedNumberText(1.004702153, columnOf(10)), "1.00470215");
  EXPECT_EQ(fittedNumberText(1.004702153, columnOf(6)), "1.0047");
  EXPECT_EQ(fittedNumberText(-1.004702153, columnOf(6)), "-1.005");
  EXPECT_EQ(fittedNumberText(2.71828, columnOf(1)), "3");
  // Rounding carries into the integer digits.
  EXPECT_EQ(fittedNumberText(9.99996, columnOf(5)), "10");
  EXPECT_EQ(fittedNumberText(123456.789, columnOf(7)), "123457");
  // Integer digits cannot be dropped: the scientific form takes over.
  EXPECT_EQ(fittedNumberText(12345678.0, columnOf(7)), "1.2E+07");
  EXPECT_EQ(fittedNumberText(12345678.0, columnOf(5)), "1E+07");
  EXPECT_EQ(fittedNumberText(-123456789012.0, columnOf(9)), "-1.23E+11");
  // Small numbers: fixed while it keeps as many digits as the scientific form, then scientific.
  EXPECT_EQ(fittedNumberText(0.0123456, columnOf(8)), "0.012346");
  EXPECT_EQ(fittedNumberText(0.000012345, columnOf(8)), "1.23E-05");
  EXPECT_EQ(fittedNumberText(0.000012345, columnOf(5)), "1E-05");
  EXPECT_EQ(fittedNumberText(1e-300, columnOf(5)), "#####");
  // '#' only when not one digit fits.
  EXPECT_EQ(fittedNumberText(12345678.0, columnOf(4)), "####");
  EXPECT_EQ(fittedNumberText(-5.5, columnOf(1)), "#");
  EXPECT_EQ(fittedNumberText(0.0, columnOf(1)), "0");
}

TEST(FittedNumberTextTest, HashFillTakesTheWholeWidthAndAtLeastOne) {
  EXPECT_EQ(hashFill(columnOf(3)), "###");
  EXPECT_EQ(hashFill(columnOf(0)), "#");
  // A measure in pixels: eight pixels per '#', a 30-pixel column.
  EXPECT_EQ(hashFill([](std::string_view text) { return text.size() * 8 <= 30; }), "###");
}

TEST(DateTextTest, SerialsReadAsCalendarDatesAndBack) {
  EXPECT_EQ(dateText(1), "12/31/1899");
  EXPECT_EQ(dateText(36527), "1/2/2000");
  EXPECT_EQ(dateText(45365), "3/14/2024");  // 45292 is 1 January 2024, a leap year
  EXPECT_EQ(dateText(45365.5), "3/14/2024 12:00");
  EXPECT_EQ(dateText(45365 + 3723.0 / 86400), "3/14/2024 1:02:03");
  EXPECT_EQ(dateText(0.75), "18:00:00");
  for (double serial : {1.0, 60.0, 36527.0, 45365.5, 2958465.0, 40000 + 45296.0 / 86400})
    EXPECT_EQ(parseDate(dateText(serial)), serial) << serial;
  EXPECT_FALSE(parseDate("2/30/2024"));
  EXPECT_FALSE(parseDate("13/1/2024"));
  EXPECT_FALSE(parseDate("1/2"));
  EXPECT_FALSE(parseDate("1/2/2024 25:00"));
  EXPECT_FALSE(parseDate("a/b/c"));
  EXPECT_TRUE(parseDate("2/29/2024"));
  EXPECT_FALSE(parseDate("2/29/2023"));
}

TEST(TypedValueTest, NumbersBooleansErrorsDatesAndTexts) {
  Sheet sheet("S", kSheetLimits);
  const auto typed = [&](std::string_view text) {
    storeTypedValue(sheet, 1, 1, text);
    return sheet.value(1, 1);
  };
  EXPECT_EQ(typed("12"), Variant(12.0));
  EXPECT_EQ(typed(" -3.5 "), Variant(-3.5));
  EXPECT_EQ(typed("+1e-3"), Variant(0.001));
  EXPECT_EQ(typed("true"), Variant::boolean(true));
  EXPECT_EQ(typed("FALSE"), Variant::boolean(false));
  EXPECT_EQ(typed("#n/a"), Variant::error(platform::kSpreadsheetErrorBase + kErrorNA));
  EXPECT_EQ(typed("3/14/2024"), Variant::date(45365));
  EXPECT_EQ(typed("12 apples"), Variant("12 apples"));
  EXPECT_EQ(typed("1,5"), Variant("1,5"));
  EXPECT_EQ(typed("inf"), Variant("inf"));
  EXPECT_EQ(typed("++1"), Variant("++1"));
  EXPECT_TRUE(typed("   ").isEmpty());
  // What the editor starts with reads back to the same cell, every digit kept.
  for (double v : {0.1 + 0.2, 1.0 / 3.0, 6.02214076e23, -5e-324}) {
    sheet.setNumber(2, 2, v);
    storeTypedValue(sheet, 3, 3, editText(sheet, 2, 2));
    EXPECT_EQ(sheet.value(3, 3), Variant(v)) << v;
  }
  sheet.setDate(2, 2, 45365.5);
  storeTypedValue(sheet, 3, 3, editText(sheet, 2, 2));
  EXPECT_EQ(sheet.value(3, 3), Variant::date(45365.5));
}

TEST(TabSeparatedTest, CopyAndPasteRoundTripAndStopAtTheSheetsEdge) {
  Sheet from("A", kSheetLimits), to("B", kSheetLimits);
  from.setText(1, 1, "name");
  from.setNumber(1, 2, 0.1 + 0.2);
  from.setBoolean(2, 1, true);
  from.setError(2, 2, kErrorDiv0);
  const std::string text = tabSeparatedText(from, CellArea{1, 1, 3, 2});
  EXPECT_EQ(text, "name\t0.30000000000000004\nTRUE\t#DIV/0!\n\t\n");
  EXPECT_EQ(pasteTabSeparated(to, 10, 10, text), (CellArea{10, 10, 12, 11}));
  for (std::int32_t r = 0; r < 3; ++r)
    for (std::int32_t c = 0; c < 2; ++c) EXPECT_EQ(to.value(10 + r, 10 + c), from.value(1 + r, 1 + c));

  // Windows line ends, and a block pasted at the last cell keeps only what fits.
  EXPECT_EQ(pasteTabSeparated(to, 65536, 256, "1\t2\r\n3\t4\r\n"), (CellArea{65536, 256, 65536, 256}));
  EXPECT_EQ(to.value(65536, 256), Variant(1.0));
  EXPECT_FALSE(pasteTabSeparated(to, 1, 1, ""));
}

TEST(SelectionStatisticsTest, OnlyNumbersCountAndWholeColumnsCostTheirData) {
  Sheet sheet("S", kSheetLimits);
  sheet.setText(1, 1, "x");
  sheet.setNumber(2, 1, 1.5);
  sheet.setNumber(3, 1, 2.5);
  sheet.setDate(4, 1, 45365);
  sheet.setBoolean(5, 1, true);
  sheet.setNumber(6, 2, 10);
  SelectionStatistics whole = selectionStatistics(sheet, {CellArea{1, 1, 65536, 1}});
  EXPECT_EQ(whole.count, 2);
  EXPECT_EQ(whole.sum, 4.0);
  EXPECT_EQ(whole.average(), 2.0);
  // Two blocks add up; a block outside the data adds nothing.
  whole = selectionStatistics(sheet,
                              {CellArea{1, 1, 65536, 1}, CellArea{1, 2, 65536, 2}, CellArea{9, 9, 20, 20}});
  EXPECT_EQ(whole.count, 3);
  EXPECT_EQ(whole.sum, 14.0);
  EXPECT_EQ(selectionStatistics(Sheet("E", kSheetLimits), {CellArea{1, 1, 65536, 256}}).count, 0);
  EXPECT_EQ(clipToUsedArea(sheet, {CellArea{1, 1, 65536, 256}}),
            (std::vector<CellArea>{CellArea{1, 1, 6, 2}}));
}

}  // namespace
}  // namespace host
