#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/cell_address.h"
#include "host/sheet.h"

namespace host {

// A number as a spreadsheet's General format shows it in a standard-width column of eleven
// characters (the sign not counted): integers in full up to eleven digits, other numbers with
// ten significant digits, or rounded to the decimals that fit (1/3 is "0.333333333"), trailing
// zeros dropped; scientific notation with six significant digits ("1.23457E+11",
// "1.23457E-05") when the fixed form cannot fit or would keep fewer digits than that.
std::string generalNumberText(double value);

// Whether a text fits the width of a column (measured in characters or pixels by the caller).
using FitsColumn = std::function<bool(std::string_view text)>;

// A number as the General format shows it in a column of any width: the standard form when it
// fits, otherwise rounded to as many significant digits as fit, in fixed form ("1.0047") while
// that keeps at least as many digits as the scientific form would ("1.23E-05", "1E+11"), and a
// column of '#' only when not even one digit fits. Digits are never cut off: what is shown is
// always the value rounded.
std::string fittedNumberText(double value, const FitsColumn& fits);

// As many '#' as fit (at least one): what a date or a formatted value too wide for its column
// shows.
std::string hashFill(const FitsColumn& fits);

// A date serial (days since 30 December 1899, the fraction the time of day) as "m/d/yyyy",
// "m/d/yyyy h:mm" when it has a time, or "h:mm:ss" for a time alone.
std::string dateText(double serial);

// What a cell shows: the General form of a number, the date of a date, TRUE/FALSE, the error
// text, or the text itself; empty for an empty cell.
std::string displayText(const Sheet& sheet, std::int32_t row, std::int32_t col);

// What the cell editor starts with: like displayText, but numbers with every digit needed to
// read them back unchanged.
std::string editText(const Sheet& sheet, std::int32_t row, std::int32_t col);

// A value typed into a cell, read as a spreadsheet reads it: blanks around it ignored, a number
// ("12", "-3.5", "1e-3") becomes a number, TRUE/FALSE (any case) a Boolean, an error text
// (#N/A, ...) an error, m/d/yyyy [h:mm[:ss]] a date, anything else the text as typed. An empty
// or blank entry clears the cell.
void storeTypedValue(Sheet& sheet, std::int32_t row, std::int32_t col, std::string_view typed);

// The date serial of "m/d/yyyy [h:mm[:ss]]" (from 12/30/1899, day 0, to 9999); nothing when it is not one.
std::optional<double> parseDate(std::string_view text);

// Count, sum and average of the number cells in the areas (dates, texts, Booleans and errors
// are not counted). Only the used part of each area is visited, so whole columns cost what
// their data costs. The sum adds column by column, top to bottom.
struct SelectionStatistics {
  long long count = 0;
  double sum = 0.0;
  double average() const { return count ? sum / static_cast<double>(count) : 0.0; }
};
SelectionStatistics selectionStatistics(const Sheet& sheet, const std::vector<CellArea>& areas);

// The areas clipped to the sheet's used area (areas outside it dropped).
std::vector<CellArea> clipToUsedArea(const Sheet& sheet, const std::vector<CellArea>& areas);

// The block as tab-separated text, one line per row ending in "\n" (what Copy puts on the
// clipboard); cells as displayText shows them, except numbers with every digit.
std::string tabSeparatedText(const Sheet& sheet, const CellArea& area);

// Pastes tab-separated text with its first value at (row, col): each line a row, each tab a new
// column; a trailing line break does not add a row. Values are read as typed values. Cells past
// the sheet's edge are dropped; returns the area written (nothing for empty text).
std::optional<CellArea> pasteTabSeparated(Sheet& sheet, std::int32_t row, std::int32_t col,
                                          std::string_view text);

}  // namespace host
