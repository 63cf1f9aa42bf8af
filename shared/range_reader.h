#pragma once

#include <cstdint>
#include <string>

#include "platform/dispatch.h"
#include "platform/prompter.h"
#include "shared/excel_connection.h"
#include "shared/raw_table.h"

// What the user chose in the "Select data source:" dialog.
struct DataSourceChoice {
  std::string columns;        // column list, "A-E,F,G,K-AA"
  std::int32_t firstRow = 1;  // 1-based sheet rows, inclusive
  std::int32_t lastRow = 1;
  bool namesInFirstRow = true;       // "Use first row as column names"
  bool rowIdsInFirstColumn = false;  // "Use data in the first column as row ID " (Gridwise only)
};

// The data-source dialog as the prompter sees it: the Qt dialog shows it (see ToolUi), a test
// script fills choice and answers IDOK or IDCANCEL.
class DataSourceRequest final : public platform::ModalDialog {
 public:
  // The column list holds at most this many characters.
  static constexpr std::size_t kMaxColumnText = 255;

  DataSourceRequest(Tool tool, std::int32_t maxRows, DataSourceChoice defaults)
      : choice(std::move(defaults)), tool_(tool), maxRows_(maxRows) {}

  std::string dialogTitle() const override { return "Select data source:"; }
  int execModal() override;

  Tool tool() const { return tool_; }
  // Whether the tool keeps row IDs (the dialog then offers the row-ID check box).
  bool offersRowIds() const { return toolConstants(tool_).reader.rowIds; }
  std::int32_t maxRows() const { return maxRows_; }
  bool rowInRange(long long row) const { return row >= 1 && row <= maxRows_; }
  // The dialog's own field checks (not the column grammar, which the reader checks).
  bool valid() const;

  DataSourceChoice choice;

 private:
  Tool tool_;
  std::int32_t maxRows_;
};

// The dialog's defaults from the host's selection: its columns as "A" or "A-C", its first and
// last rows; for whole columns the last row is the one above the first empty cell of the first
// column. Whatever cannot be read keeps the plain defaults (empty list, rows 1 and 1).
DataSourceChoice dataSourceDefaults(ExcelConnection& connection, platform::Dispatch* application);

// Reads the chosen block of the active sheet into table, cell by cell under a progress window:
// names from the first row or "Column_0", "Column_1", ...; for a tool with row IDs (Gridwise)
// the IDs from the first listed column or "Row_" with the sheet row plus one. Every failure is
// shown with the tool's message (ReaderConstants) and leaves nothing loaded. True when the
// table is loaded.
bool readRange(ExcelConnection& connection, platform::Dispatch* application, const DataSourceChoice& choice,
               RawTable& table);

// The task's "read data": defaults, the dialog (Cancel ends quietly), then readRange. chosen,
// when given, receives the confirmed choice.
bool readDataSource(ExcelConnection& connection, platform::Dispatch* application, RawTable& table,
                    DataSourceChoice* chosen = nullptr);
