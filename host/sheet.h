#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/cell_address.h"
#include "platform/safe_array.h"
#include "platform/variant.h"

namespace host {

// The size of a worksheet: 65,536 rows by 256 columns, or 16,384 rows when the host reports
// itself as version 7.
struct SheetLimits {
  std::int32_t rows = 65536;
  std::int32_t cols = 256;
};
inline constexpr SheetLimits kSheetLimits = {65536, 256};
inline constexpr SheetLimits kSheetLimitsVersion7 = {16384, 256};

enum class CellKind : std::uint8_t { Empty, Number, Text, Boolean, Date, Error };

// Spreadsheet error numbers, carried in a VT_ERROR variant after kSpreadsheetErrorBase.
inline constexpr std::int32_t kErrorNull = 2000;
inline constexpr std::int32_t kErrorDiv0 = 2007;
inline constexpr std::int32_t kErrorValue = 2015;
inline constexpr std::int32_t kErrorRef = 2023;
inline constexpr std::int32_t kErrorName = 2029;
inline constexpr std::int32_t kErrorNum = 2036;
inline constexpr std::int32_t kErrorNA = 2042;
// "#DIV/0!" for kErrorDiv0 and so on; "#VALUE!" for an unknown number.
std::string_view errorText(std::int32_t code);
// The error number of one of the seven error texts.
std::optional<std::int32_t> errorFromText(std::string_view text);

// One worksheet: a name and sparse cells holding numbers, texts, Booleans, dates and errors.
// Cells are kept per column in contiguous arrays (a kind byte and a double per row, texts in a
// side table), grown only as far down as the column is used, so reading or writing a column is
// a walk through memory and an unused column costs nothing. Rows and columns are 1-based;
// every cell access takes coordinates inside the limits (outside them the setters throw
// std::out_of_range and the getters see an empty cell). Not thread-safe.
class Sheet {
 public:
  Sheet(std::string name, SheetLimits limits);

  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  SheetLimits limits() const { return limits_; }
  bool contains(std::int32_t row, std::int32_t col) const {
    return row >= 1 && col >= 1 && row <= limits_.rows && col <= limits_.cols;
  }

  CellKind kind(std::int32_t row, std::int32_t col) const;
  // The number of a number or date cell, 1/0 for a Boolean, the error number of an error.
  double number(std::int32_t row, std::int32_t col) const;
  // The text of a text cell; empty otherwise.
  const std::string& text(std::int32_t row, std::int32_t col) const;
  // The cell as automation sees it: VT_R8, VT_BSTR, VT_BOOL, VT_DATE, VT_ERROR or VT_EMPTY.
  platform::Variant value(std::int32_t row, std::int32_t col) const;

  // Stores a variant: integers, reals and currency become numbers, VT_DATE a date, text a text
  // (an empty text clears the cell), VT_BOOL a Boolean, VT_ERROR an error, empty and null clear
  // the cell. Objects and arrays cannot live in a cell: false, nothing changed.
  bool setValue(std::int32_t row, std::int32_t col, const platform::Variant& value);
  void setNumber(std::int32_t row, std::int32_t col, double value);
  void setDate(std::int32_t row, std::int32_t col, double oleDate);
  void setBoolean(std::int32_t row, std::int32_t col, bool value);
  void setError(std::int32_t row, std::int32_t col, std::int32_t code);
  void setText(std::int32_t row, std::int32_t col, std::string text);
  void clear(std::int32_t row, std::int32_t col);

  // Writes the block values (rows x cols, 0-based offsets) to the area whose top-left corner is
  // (top, left). Cells of the area beyond the block's extent get #N/A, as a spreadsheet fills a
  // range larger than the array assigned to it. False, and nothing changed, when the area
  // leaves the sheet or an element cannot live in a cell.
  bool assignBlock(const CellArea& area, const platform::SafeArray& block);

  // A column as it is stored, row 1 first: a kind and a number per row (0 for empty and text
  // cells) down to a row at or below its last non-empty one; empty for an unused column. For
  // copying whole columns; the views last until the column is next written.
  std::span<const CellKind> columnKinds(std::int32_t col) const;
  std::span<const double> columnNumbers(std::int32_t col) const;
  // Replaces column col (inside the limits) with these cells: kinds and numbers of one length
  // no longer than the sheet (the numbers of empty and text cells are set to 0), texts (by
  // 0-based row) for exactly the text cells, none empty. Throws std::invalid_argument, nothing
  // changed, when they do not agree.
  void setColumn(std::int32_t col, std::vector<CellKind> kinds, std::vector<double> numbers,
                 std::unordered_map<std::int32_t, std::string> texts);

  // Moves every non-empty cell of other (a sheet of the same limits) into this one, where this
  // sheet's cell must be empty (a sheet read in two parts at once); other is left empty.
  // Costs a pass over the shorter of each pair of columns.
  void mergeFrom(Sheet&& other);

  // The smallest area holding every non-empty cell; nothing for an empty sheet.
  std::optional<CellArea> usedArea() const;

  // The selected area (A1 until something else is selected).
  const CellArea& selection() const { return selection_; }
  void select(const CellArea& area) { selection_ = area; }

  // A sheet whose workbook was closed stays alive for automation objects that still refer to
  // it, but is detached: they fail instead of writing into a sheet nobody sees.
  bool attached() const { return attached_; }
  void detach() { attached_ = false; }

 private:
  struct Column {
    std::vector<CellKind> kinds;
    std::vector<double> numbers;
    std::unordered_map<std::int32_t, std::string> texts;  // by 0-based row
  };

  Column& writableColumn(std::int32_t row, std::int32_t col);
  void store(Column& column, std::size_t index, const platform::Variant& value);
  // A number or date straight into its column (the readers' path for millions of cells).
  void storeNumber(std::int32_t row, std::int32_t col, CellKind kind, double value);
  static bool storable(const platform::Variant& value);

  std::string name_;
  SheetLimits limits_;
  std::vector<Column> columns_;
  CellArea selection_;
  bool attached_ = true;
};

}  // namespace host
