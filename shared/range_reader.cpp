#include "shared/range_reader.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "shared/column_list.h"
#include "shared/tool_ui.h"

using platform::Dispatch;
using platform::HRESULT;
using platform::RefPtr;
using platform::Variant;

namespace {

// The bar moves after every this many cells read.
constexpr std::int64_t kCellsPerProgressStep = 100;

void show(const BoxStyle& style, const std::string& text) {
  platform::prompter().messageBox(text, std::string(style.caption), style.flags);
}

// Reads one block of one tool: the messages, the cells object and the progress.
class RangeReader {
 public:
  RangeReader(ExcelConnection& connection, const DataSourceChoice& choice, RawTable& table)
      : connection_(connection), choice_(choice), table_(table), constants_(connection.constants().reader) {}

  bool read(Dispatch* application);

 private:
  // The tool decides how both kinds of refusal look (see ReaderConstants).
  void inputRefusal(std::string_view text) const { show(constants_.inputRefusal, std::string(text)); }
  void sheetFailure(const std::string& text) const { show(constants_.sheetFailure, text); }

  bool readNames(Dispatch* cells, const std::vector<std::int32_t>& dataColumns);
  bool readRowIds(Dispatch* cells, std::int32_t idColumn, ProgressWindow& progress);
  bool readValues(Dispatch* cells, const std::vector<std::int32_t>& dataColumns, ProgressWindow& progress);

  ExcelConnection& connection_;
  const DataSourceChoice& choice_;
  RawTable& table_;
  const ReaderConstants& constants_;
  std::int32_t firstDataRow_ = 0;
  std::int32_t rows_ = 0;
};

bool RangeReader::read(Dispatch* application) {
  table_.clear();
  std::vector<std::int32_t> listed;
  if (!parseColumnList(choice_.columns, connection_.maxColumns(), listed)) {
    inputRefusal(constants_.parseError);
    return false;
  }

  RefPtr<Dispatch> sheet;
  if (platform::FAILED(connection_.GetObjectProperty(application, sheet, "ActiveSheet"))) return false;
  // Version 7 reads cells through the sheet's Cells method; later versions through its Cells.
  RefPtr<Dispatch> cells = sheet;
  if (connection_.excelVersion() > 7 &&
      platform::FAILED(connection_.GetObjectProperty(sheet.get(), cells, "Cells"))) {
    sheetFailure(std::string(constants_.noCells));
    return false;
  }

  const std::int64_t rows =
      static_cast<std::int64_t>(choice_.lastRow) - choice_.firstRow + 1 - (choice_.namesInFirstRow ? 1 : 0);
  if (rows <= 0) {
    inputRefusal(constants_.rowsNotPositive);
    return false;
  }
  rows_ = static_cast<std::int32_t>(rows);

  const bool withIds = constants_.rowIds;
  const bool idsFromSheet = withIds && choice_.rowIdsInFirstColumn;
  const std::vector<std::int32_t> dataColumns(listed.begin() + (idsFromSheet ? 1 : 0), listed.end());
  if (dataColumns.empty()) {
    inputRefusal(constants_.columnsNotPositive);
    return false;
  }
  if (!table_.allocate(static_cast<std::int32_t>(dataColumns.size()), rows_, withIds)) {
    inputRefusal(constants_.outOfMemory);
    return false;
  }

  firstDataRow_ = choice_.firstRow;
  if (!readNames(cells.get(), dataColumns)) return false;

  auto progress = openProgressWindow(constants_.progress);
  progress->setText(std::string(constants_.progressText));
  const bool ok = (!withIds || readRowIds(cells.get(), idsFromSheet ? listed.front() : 0, *progress)) &&
                  readValues(cells.get(), dataColumns, *progress);
  if (!ok) {
    progress->close();
    table_.clear();
    return false;
  }
  progress->finish(kProgressFinishedPause);
  progress->close();
  table_.loaded = true;
  return true;
}

bool RangeReader::readNames(Dispatch* cells, const std::vector<std::int32_t>& dataColumns) {
  if (!choice_.namesInFirstRow) {
    for (std::size_t j = 0; j < dataColumns.size(); ++j)
      table_.columnNames[j] = "Column_" + std::to_string(j);
    return true;
  }
  for (std::size_t j = 0; j < dataColumns.size(); ++j) {
    if (platform::FAILED(
            connection_.GetCellText(cells, firstDataRow_, dataColumns[j], table_.columnNames[j]))) {
      sheetFailure("You have specified bad column name in the cell " +
                   cellName(firstDataRow_, dataColumns[j]) + std::string(constants_.badNameTail));
      table_.clear();
      return false;
    }
  }
  ++firstDataRow_;
  return true;
}

bool RangeReader::readRowIds(Dispatch* cells, std::int32_t idColumn, ProgressWindow&) {
  for (std::int32_t i = 0; i < rows_; ++i) {
    const std::int32_t row = firstDataRow_ + i;
    std::string& id = table_.rowIds[static_cast<std::size_t>(i)];
    if (idColumn == 0) {
      id = "Row_" + std::to_string(row + 1);
    } else if (platform::FAILED(connection_.GetCellText(cells, row, idColumn, id))) {
      sheetFailure("You have specified bad row ID in the cell " + cellName(row, idColumn) +
                   ".\nIt must be a string, a number or a date.");
      return false;
    }
  }
  return true;
}

bool RangeReader::readValues(Dispatch* cells, const std::vector<std::int32_t>& dataColumns,
                             ProgressWindow& progress) {
  const std::int64_t total = static_cast<std::int64_t>(dataColumns.size()) * rows_;
  std::int64_t read = 0;
  for (std::size_t j = 0; j < dataColumns.size(); ++j) {
    double* values = table_.columns[j].data();
    for (std::int32_t i = 0; i < rows_; ++i) {
      const std::int32_t row = firstDataRow_ + i;
      if (platform::FAILED(connection_.GetCellNumber(cells, row, dataColumns[j], values[i]))) {
        sheetFailure(std::string(constants_.badValueHead) + cellName(row, dataColumns[j]) +
                     std::string(constants_.badValueTail));
        return false;
      }
      if (++read % kCellsPerProgressStep == 0)
        progress.setPosition(static_cast<int>(read * kProgressFullScale / total));
    }
  }
  return true;
}

// Reads an integer property; false when it cannot be read or converted.
bool readInt(Dispatch* object, std::string_view name, std::int32_t& value) {
  Variant v, converted;
  if (platform::FAILED(platform::getProperty(object, name, v))) return false;
  if (platform::FAILED(platform::VariantChangeType(converted, v, 0, platform::VT_I4))) return false;
  value = converted.lVal();
  return true;
}

// The last filled row of a column looking down from firstRow: the row above the first empty
// cell, or firstRow itself when that one is empty; false when every cell is filled or a cell
// cannot be read.
bool lastFilledRow(ExcelConnection& connection, Dispatch* application, std::int32_t column,
                   std::int32_t firstRow, std::int32_t& lastRow) {
  RefPtr<Dispatch> sheet, cells;
  if (platform::FAILED(platform::getObjectProperty(application, "ActiveSheet", sheet))) return false;
  cells = sheet;
  if (connection.excelVersion() > 7 &&
      platform::FAILED(platform::getObjectProperty(sheet.get(), "Cells", cells)))
    return false;
  for (std::int32_t row = firstRow; row <= connection.maxRows(); ++row) {
    Variant value;
    if (platform::FAILED(connection.GetCellValue(cells.get(), row, column, value))) return false;
    if (value.isEmpty()) {
      lastRow = row == firstRow ? row : row - 1;
      return true;
    }
  }
  return false;
}

}  // namespace

int DataSourceRequest::execModal() {
  return toolUi().runDataSourceDialog(*this);
}

bool DataSourceRequest::valid() const {
  return choice.columns.size() <= kMaxColumnText && rowInRange(choice.firstRow) && rowInRange(choice.lastRow);
}

DataSourceChoice dataSourceDefaults(ExcelConnection& connection, Dispatch* application) {
  DataSourceChoice choice;
  RefPtr<Dispatch> selection, columns, rows;
  if (platform::FAILED(platform::getObjectProperty(application, "Selection", selection))) return choice;

  std::int32_t firstColumn = 0, columnCount = 0;
  if (platform::SUCCEEDED(platform::getObjectProperty(selection.get(), "Columns", columns)) &&
      readInt(columns.get(), "Column", firstColumn) && readInt(columns.get(), "Count", columnCount)) {
    choice.columns = columnLetters(firstColumn);
    if (columnCount != 1) choice.columns += "-" + columnLetters(firstColumn + columnCount - 1);
  }
  std::int32_t firstRow = 0, rowCount = 0;
  if (platform::SUCCEEDED(platform::getObjectProperty(selection.get(), "Rows", rows)) &&
      readInt(rows.get(), "Row", firstRow) && readInt(rows.get(), "Count", rowCount)) {
    choice.firstRow = firstRow;
    choice.lastRow = firstRow + rowCount - 1;
  }
  // Whole columns selected: the data end where the first column has its first gap.
  if (choice.lastRow == connection.maxRows() && firstColumn > 0) {
    std::int32_t last = 0;
    if (lastFilledRow(connection, application, firstColumn, choice.firstRow, last)) choice.lastRow = last;
  }
  return choice;
}

bool readRange(ExcelConnection& connection, Dispatch* application, const DataSourceChoice& choice,
               RawTable& table) {
  RangeReader reader(connection, choice, table);
  return reader.read(application);
}

bool readDataSource(ExcelConnection& connection, Dispatch* application, RawTable& table,
                    DataSourceChoice* chosen) {
  DataSourceRequest request(connection.tool(), connection.maxRows(),
                            dataSourceDefaults(connection, application));
  if (platform::prompter().runModal(request) != platform::IDOK) return false;
  if (chosen) *chosen = request.choice;
  return readRange(connection, application, request.choice, table);
}
