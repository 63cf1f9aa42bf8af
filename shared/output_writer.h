#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/safe_array.h"
#include "shared/excel_connection.h"
#include "shared/tool_ui.h"

// The target controls of an output page, without their widgets: the page copies its combo
// boxes, check box and first-cell text in and out of this.
struct OutputPlace {
  bool useActive = true;  // "Use active Excel sheet" / "Use active Excel Worksheet"
  std::vector<std::string> workbooks;
  int selectedWorkbook = -1;
  std::vector<std::string> worksheets;
  int selectedWorksheet = -1;
  bool listsEnabled = false;
  std::string firstCell;
};

// Both lists hold only the active workbook and sheet, selected; the lists are disabled. With
// nothing active they stay empty (the bridge has said why).
void fillActiveTarget(ExcelConnection& connection, OutputPlace& place);
// The workbook list holds every open workbook, the first selected, and the worksheet list that
// workbook's sheets; the lists are enabled.
void fillAllTargets(ExcelConnection& connection, OutputPlace& place);
// The worksheet list holds the sheets of the selected workbook. A workbook that cannot be
// opened leaves the list and the first remaining one is tried.
void fillWorksheets(ExcelConnection& connection, OutputPlace& place);

// An output of one tool: the target, the table (from the tool) and the two write handlers that
// run on the host's thread. Derive and supply the table; override checkTarget() for the tool's
// own checks and the handlers for a tool that writes its own way.
class OutputWriter : public HostRequest {
 public:
  enum class Outcome {
    Refused,     // declined or a check failed; its message has been shown, nothing written
    Written,     // the handler ran
    Queued,      // another output is being written; this one follows it
    NotWritten,  // the host did not run the handler; the user has been told
  };

  explicit OutputWriter(ExcelConnection& connection) : connection_(connection) {}
  // Withdraws the request if it is still waiting its turn.
  virtual ~OutputWriter();
  OutputWriter(const OutputWriter&) = delete;
  OutputWriter& operator=(const OutputWriter&) = delete;

  // The page's "Output" command: the tool's confirmation (if it asks one), the active target
  // when asked for, the worksheet, workbook and first-cell checks, checkTarget(), then the
  // write on the host's thread. Texts and boxes follow the tool's WriterConstants;
  // place.firstCell is upper-cased in place for a tool whose page shows it so.
  Outcome output(OutputPlace& place);

  std::string requestWorkbook() const override { return workbookName; }
  std::string requestWorksheet() const override { return worksheetName; }
  // Assigns the whole table to the target range in one call (host versions above 7).
  void runBlockHandler(platform::Dispatch* worksheet) override;
  // Writes the table cell by cell under a progress window (host version 7).
  void runCellHandler(platform::Dispatch* application) override;

  std::string workbookName;
  std::string worksheetName;
  std::int32_t firstRow = 0;  // 1-based top-left cell of the table
  std::int32_t firstColumn = 0;

 protected:
  ExcelConnection& connection() const { return connection_; }

  // The table, 0-based; sizes of at least 1 for anything to be written.
  virtual std::int32_t tableRows() const = 0;
  virtual std::int32_t tableColumns() const = 0;
  virtual platform::Variant cellValue(std::int32_t row, std::int32_t column) const = 0;

  // The tool's checks before the write, each showing its own message; true to go on. The
  // default: column and row above zero and the table inside the host's sheet, with the
  // messages of Gridwise.
  virtual bool checkTarget();
  // Message line of the cell-by-cell progress window (empty: none).
  virtual std::string cellWriteText() const { return {}; }

  // Helpers for the handlers.
  // Workbooks(workbookName).Worksheets(worksheetName) of the Application, silently.
  platform::HRESULT findTargetWorksheet(platform::Dispatch* application,
                                        platform::RefPtr<platform::Dispatch>& worksheet) const;
  // The table laid into a new rows × columns array; null when the memory cannot be had.
  std::unique_ptr<platform::SafeArray> buildBlock() const;
  // Range(top-left, bottom-right).Value := block on the worksheet.
  platform::HRESULT assignBlock(platform::Dispatch* worksheet,
                                std::unique_ptr<platform::SafeArray> block) const;
  // "Unable to write data!" in the tool's style.
  void reportWriteFailure() const;
  void pageMessage(const std::string& text, bool firstCellMessage) const;
  void refusal(const std::string& text) const;

 private:
  ExcelConnection& connection_;
};
