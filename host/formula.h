#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "host/sheet.h"

namespace host {

// A value a formula works with. Dates are numbers here.
struct FormulaValue {
  CellKind kind = CellKind::Empty;  // Empty, Number, Text, Boolean or Error
  double number = 0;                // the number, 1/0 for a Boolean, the error number
  std::string text;

  static FormulaValue ofNumber(double v) { return {CellKind::Number, v, {}}; }
  static FormulaValue ofError(std::int32_t code) { return {CellKind::Error, static_cast<double>(code), {}}; }
  static FormulaValue ofBoolean(bool b) { return {CellKind::Boolean, b ? 1.0 : 0.0, {}}; }
  static FormulaValue ofText(std::string t) { return {CellKind::Text, 0, std::move(t)}; }
};

// A rectangle of one sheet, 1-based and inclusive.
struct FormulaRange {
  int sheet = 0;
  std::int32_t top = 1, left = 1, bottom = 1, right = 1;
};

// What a formula sees of its workbook.
class FormulaCells {
 public:
  virtual ~FormulaCells() = default;
  // The sheet of that name (without regard to case), or -1.
  virtual int sheetIndex(std::string_view name) const = 0;
  virtual SheetLimits limits() const = 0;
  // The value of one cell, calculating it first when it is a formula not yet calculated.
  virtual FormulaValue cell(int sheet, std::int32_t row, std::int32_t col) = 0;
  // Calls visit for every non-empty cell of the range, column by column; the walk stops when
  // visit returns false.
  virtual void forEach(const FormulaRange& range, const std::function<bool(const FormulaValue&)>& visit) = 0;
  // Counts one unit of work; throws FormulaBudgetExceeded when the calculation has used its
  // share, so a workbook full of heavy formulas still opens in bounded time.
  virtual void spend(std::uint64_t units) = 0;
};

struct FormulaBudgetExceeded {};

// Formulas nested deeper than this (parentheses, function calls, signs) are not calculated;
// the bound keeps the recursive reading well inside any thread's stack.
inline constexpr int kMaxFormulaDepth = 100;

enum class FormulaGrammar {
  A1,           // xlsx: SUM(A1:B2,Sheet2!C3), no leading '='
  OpenFormula,  // ods: of:=SUM([.A1:.B2];[$Sheet2.C3])
};

// Calculates a formula written in cell (row, col) of sheet. rowShift/colShift move its
// relative references (for the cells sharing one formula text). A formula that cannot be
// calculated (an unknown function, an external reference, bad syntax, too deep) gives an
// error value (#NAME? for unknown names, #REF! for references that cannot be followed,
// #VALUE! otherwise); never throws except FormulaBudgetExceeded from cells.spend().
// When given, *uncalculable tells whether the result stands for "could not be calculated"
// (an unknown name or function, a reference that cannot be followed, syntax we do not read)
// rather than a result in its own right.
FormulaValue evaluateFormula(std::string_view formula, FormulaGrammar grammar, int sheet, FormulaCells& cells,
                             std::int32_t rowShift = 0, std::int32_t colShift = 0,
                             bool* uncalculable = nullptr);

}  // namespace host
