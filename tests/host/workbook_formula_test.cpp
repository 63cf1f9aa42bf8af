// The calculator for formulas a file leaves without results, through the workbook builder
// that the readers use.
#include <gtest/gtest.h>

#include "host/workbook_builder.h"

namespace host {
namespace {

using platform::Variant;

Variant errorValue(std::int32_t code) {
  return Variant::error(platform::kSpreadsheetErrorBase + code);
}

// One sheet "S" (and "Other Sheet") with numbers in A1:A4 (1, 2, 3, 4), a text in B1 and an
// error in B2; each formula goes to column C of its own row and its value comes back.
std::vector<Variant> calculate(const std::vector<std::string>& formulas,
                               FormulaGrammar grammar = FormulaGrammar::A1) {
  WorkbookBuilder book("f.xlsx", kSheetLimits);
  book.addSheet("S");
  book.addSheet("Other Sheet");
  for (int r = 1; r <= 4; ++r) book.setNumber(0, r, 1, r);
  book.setText(0, 1, 2, "text");
  book.setError(0, 2, 2, kErrorNA);
  book.setNumber(1, 1, 1, 100);
  for (std::size_t i = 0; i < formulas.size(); ++i)
    book.addFormula(0, static_cast<std::int64_t>(i + 1), 3, book.formulaText(formulas[i], grammar), 0, 0,
                    false);
  const auto workbook = book.finish();
  std::vector<Variant> values;
  for (std::size_t i = 0; i < formulas.size(); ++i)
    values.push_back(workbook->sheet(0).value(static_cast<std::int32_t>(i + 1), 3));
  return values;
}

TEST(FormulaTest, OperatorsFollowSpreadsheetPrecedence) {
  const auto v = calculate({"1+2*3", "-2^2", "2^3^2", "(1+2)*3", "10/4", "50%", "\"a\"&1+1", "1+2=3",
                            "\"abc\"<\"ABD\"", "1<\"a\"", "A1+A2*A4", "  3 - -1 "});
  EXPECT_EQ(v[0], Variant(7.0));
  EXPECT_EQ(v[1], Variant(4.0));   // the sign binds before the power
  EXPECT_EQ(v[2], Variant(64.0));  // powers from the left
  EXPECT_EQ(v[3], Variant(9.0));
  EXPECT_EQ(v[4], Variant(2.5));
  EXPECT_EQ(v[5], Variant(0.5));
  EXPECT_EQ(v[6], Variant("a2"));
  EXPECT_EQ(v[7], Variant::boolean(true));
  EXPECT_EQ(v[8], Variant::boolean(true));
  EXPECT_EQ(v[9], Variant::boolean(true));  // numbers sort before texts
  EXPECT_EQ(v[10], Variant(9.0));
  EXPECT_EQ(v[11], Variant(4.0));
}

TEST(FormulaTest, FunctionsOverRangesAndErrors) {
  const auto v = calculate({"SUM(A1:A4)",
                            "MAX(A:A)",
                            "MIN(A1:A4,-5)",
                            "AVERAGE(A1:B1)",
                            "COUNT(A1:B4)",
                            "COUNTA(A1:B4)",
                            "SUM(A1:B2)",
                            "IFERROR(B2,\"none\")",
                            "IF(A1>1,\"big\",\"small\")",
                            "AND(TRUE,A1)",
                            "OR(FALSE(),0)",
                            "1/0",
                            "ROUND(1.005*1000,0)",
                            "MOD(-7,3)",
                            "'Other Sheet'!A1+S!A2",
                            "SQRT(-1)",
                            "ISERROR(1/0)",
                            "LEN(\"caf\xC3\xA9\")",
                            "CONCATENATE(\"a\",A1,TRUE)",
                            "AVERAGE(B1)",
                            "SUM(\"3\",A1)",
                            "NOT(B1)"});
  EXPECT_EQ(v[0], Variant(10.0));
  EXPECT_EQ(v[1], Variant(4.0));
  EXPECT_EQ(v[2], Variant(-5.0));
  EXPECT_EQ(v[3], Variant(1.0));  // the text is passed over
  EXPECT_EQ(v[4], Variant(4.0));
  EXPECT_EQ(v[5], Variant(6.0));
  EXPECT_EQ(v[6], errorValue(kErrorNA));  // an error in a range spreads
  EXPECT_EQ(v[7], Variant("none"));
  EXPECT_EQ(v[8], Variant("small"));
  EXPECT_EQ(v[9], Variant::boolean(true));
  EXPECT_EQ(v[10], Variant::boolean(false));
  EXPECT_EQ(v[11], errorValue(kErrorDiv0));
  EXPECT_EQ(v[12], Variant(1005.0));
  EXPECT_EQ(v[13], Variant(2.0));  // the sign of the divisor
  EXPECT_EQ(v[14], Variant(102.0));
  EXPECT_EQ(v[15], errorValue(kErrorNum));
  EXPECT_EQ(v[16], Variant::boolean(true));
  EXPECT_EQ(v[17], Variant(4.0));  // characters, not bytes
  EXPECT_EQ(v[18], Variant("a1TRUE"));
  EXPECT_EQ(v[19], errorValue(kErrorDiv0));
  EXPECT_EQ(v[20], Variant(4.0));
  EXPECT_EQ(v[21], errorValue(kErrorValue));
}

TEST(FormulaTest, WhatCannotBeCalculatedShowsAnError) {
  const auto v = calculate({"UNKNOWN(1)", "NoSuchName", "[2]Sheet!A1", "Missing!A1", "SUM(1,", "{1,2}", "1+",
                            "C8", "C9", "C10", std::string(5000, '(') + "1" + std::string(5000, ')'),
                            std::string(99, '(') + "1" + std::string(99, ')'), "IFERROR(UNKNOWN(),7)+0"});
  EXPECT_EQ(v[0], errorValue(kErrorName));
  EXPECT_EQ(v[1], errorValue(kErrorName));
  EXPECT_EQ(v[2], errorValue(kErrorRef));
  EXPECT_EQ(v[3], errorValue(kErrorRef));
  EXPECT_EQ(v[4], errorValue(kErrorValue));
  EXPECT_EQ(v[5], errorValue(kErrorValue));
  EXPECT_EQ(v[6], errorValue(kErrorValue));
  // C8 -> C9 -> C10 -> C8: a circle.
  EXPECT_EQ(v[7], errorValue(kErrorValue));
  EXPECT_EQ(v[10], errorValue(kErrorValue));  // too deep to calculate, no crash
  EXPECT_EQ(v[11], Variant(1.0));
  EXPECT_EQ(v[12], Variant(7.0));
}

TEST(FormulaTest, OpenFormulaReferencesAndSharedShifts) {
  const auto v = calculate({"of:=[.A1]+[.A2]", "of:=SUM([.A1:.A4];[$'Other Sheet'.A1])", "of:=[.A:.A]",
                            "of:=IF([.A1]=1;\"one\";\"other\")"},
                           FormulaGrammar::OpenFormula);
  EXPECT_EQ(v[0], Variant(3.0));
  EXPECT_EQ(v[1], Variant(110.0));
  EXPECT_EQ(v[2], errorValue(kErrorValue));  // a whole column is no single value
  EXPECT_EQ(v[3], Variant("one"));

  // One text shared by three cells, relative parts moved, absolute ones kept.
  WorkbookBuilder book("f.xlsx", kSheetLimits);
  book.addSheet("S");
  for (int r = 1; r <= 3; ++r) book.setNumber(0, r, 1, r * 10);
  const auto text = book.formulaText("A1+$A$1", FormulaGrammar::A1);
  for (int r = 1; r <= 3; ++r) book.addFormula(0, r, 2, text, r - 1, 0, false);
  book.addFormula(0, 1, 3, text, -1, 0, false);  // moved off the sheet
  const auto workbook = book.finish();
  EXPECT_EQ(workbook->sheet(0).value(1, 2), Variant(20.0));
  EXPECT_EQ(workbook->sheet(0).value(3, 2), Variant(40.0));
  EXPECT_EQ(workbook->sheet(0).value(1, 3), errorValue(kErrorRef));
}

TEST(FormulaTest, HeavyFormulasStopAtTheBudgetWithStoredResultsKept) {
  // 5,000 whole-column sums over 65,536 numbers would take 3.3e8 steps: past the budget the
  // rest shows its stored result, or #VALUE! without one; nothing hangs.
  WorkbookBuilder book("f.xlsx", kSheetLimits);
  book.addSheet("S");
  for (int r = 1; r <= 65536; ++r) book.setNumber(0, r, 1, 1);
  const auto text = book.formulaText("SUM(A:A)", FormulaGrammar::A1);
  for (int r = 1; r <= 5000; ++r)
    book.addFormula(0, r, 2, text, 0, 0, false,
                    r % 2 ? std::optional<FormulaValue>() : FormulaValue::ofNumber(-1));
  const auto workbook = book.finish();
  const Sheet& s = workbook->sheet(0);
  EXPECT_EQ(s.value(1, 2), Variant(65536.0));
  EXPECT_EQ(s.value(2, 2), Variant(65536.0));  // calculated: the stored result is only a fallback
  EXPECT_EQ(s.value(4999, 2), errorValue(kErrorValue));
  EXPECT_EQ(s.value(5000, 2), Variant(-1.0));
}

}  // namespace
}  // namespace host
