#include "shared/output_writer.h"

#include <cctype>

#include "platform/prompter.h"
#include "shared/column_list.h"

using platform::Dispatch;
using platform::HRESULT;
using platform::RefPtr;
using platform::Variant;

namespace {

// The cell-by-cell path moves the bar after every this many rows.
constexpr std::int32_t kRowsPerProgressStep = 10;

int show(const BoxStyle& style, const std::string& text) {
  return platform::prompter().messageBox(text, std::string(style.caption), style.flags);
}

// Clears the pending request and busy when the handler leaves, whichever way it leaves.
class RequestEnd {
 public:
  explicit RequestEnd(ExcelConnection& connection) : connection_(connection) {}
  ~RequestEnd() { connection_.endRequest(); }
  RequestEnd(const RequestEnd&) = delete;
  RequestEnd& operator=(const RequestEnd&) = delete;

 private:
  ExcelConnection& connection_;
};

const std::string& selectedOrFirst(const std::vector<std::string>& list, int selected) {
  return list[selected >= 0 && selected < static_cast<int>(list.size()) ? static_cast<std::size_t>(selected)
                                                                        : 0];
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Target lists

void fillActiveTarget(ExcelConnection& connection, OutputPlace& place) {
  place.workbooks.clear();
  place.worksheets.clear();
  place.selectedWorkbook = place.selectedWorksheet = -1;
  place.listsEnabled = false;
  std::string book, sheet;
  if (platform::FAILED(connection.GetActiveBookAndSheet(book, sheet))) return;
  place.workbooks.push_back(std::move(book));
  place.worksheets.push_back(std::move(sheet));
  place.selectedWorkbook = place.selectedWorksheet = 0;
}

void fillAllTargets(ExcelConnection& connection, OutputPlace& place) {
  place.workbooks.clear();
  place.worksheets.clear();
  place.selectedWorkbook = place.selectedWorksheet = -1;
  place.listsEnabled = true;
  connection.ListWorkbooks(place.workbooks);
  if (place.workbooks.empty()) return;
  place.selectedWorkbook = 0;
  fillWorksheets(connection, place);
}

void fillWorksheets(ExcelConnection& connection, OutputPlace& place) {
  place.worksheets.clear();
  place.selectedWorksheet = -1;
  while (!place.workbooks.empty()) {
    if (place.selectedWorkbook < 0 || place.selectedWorkbook >= static_cast<int>(place.workbooks.size()))
      place.selectedWorkbook = 0;
    const auto book = place.workbooks.begin() + place.selectedWorkbook;
    if (platform::SUCCEEDED(connection.ListWorksheets(*book, place.worksheets))) {
      if (!place.worksheets.empty()) place.selectedWorksheet = 0;
      return;
    }
    place.workbooks.erase(book);
    place.selectedWorkbook = 0;
  }
  place.selectedWorkbook = -1;
}

// ---------------------------------------------------------------------------------------------
// The command

OutputWriter::~OutputWriter() {
  connection_.withdrawRequest(*this);
}

void OutputWriter::pageMessage(const std::string& text, bool firstCellMessage) const {
  const WriterConstants& style = connection_.constants().writer;
  show(firstCellMessage ? style.firstCellRefusal : style.pageRefusal, text);
}

void OutputWriter::refusal(const std::string& text) const {
  platform::prompter().messageBox(text, std::string(connection_.constants().caption),
                                  platform::MB_OK | platform::MB_ICONINFORMATION);
}

OutputWriter::Outcome OutputWriter::output(OutputPlace& place) {
  const WriterConstants& writer = connection_.constants().writer;
  if (!writer.confirmQuestion.empty() &&
      show(writer.confirmBox, std::string(writer.confirmQuestion)) != platform::IDYES)
    return Outcome::Refused;

  if (place.useActive) fillActiveTarget(connection_, place);
  if (place.worksheets.empty()) {
    pageMessage("You have not specified worksheet!", false);
    return Outcome::Refused;
  }
  if (place.workbooks.empty()) {
    pageMessage("You have not specified workbook!", false);
    return Outcome::Refused;
  }
  worksheetName = selectedOrFirst(place.worksheets, place.selectedWorksheet);
  workbookName = selectedOrFirst(place.workbooks, place.selectedWorkbook);
  if (writer.upperCaseFirstCell)
    for (char& c : place.firstCell) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::int32_t row = 0, column = 0;
  if (!parseFirstCell(place.firstCell, row, column)) {
    pageMessage("You have specified bad first cell location.\nCheck it and try once again.", true);
    return Outcome::Refused;
  }
  firstRow = row;
  firstColumn = column;

  if (!checkTarget()) return Outcome::Refused;

  switch (connection_.CallOnHostThread(*this)) {
    case HostCall::Done:
      return Outcome::Written;
    case HostCall::Queued:
      return Outcome::Queued;
    case HostCall::NotCarriedOut:
      break;
  }
  return Outcome::NotWritten;
}

bool OutputWriter::checkTarget() {
  if (firstColumn <= 0) {
    refusal("Column number must be over zero!");
    return false;
  }
  if (firstRow <= 0) {
    refusal("Row number must be over zero!");
    return false;
  }
  // 64-bit sums: the first cell may be as large as the grammar allows.
  if (static_cast<std::int64_t>(firstColumn) + tableColumns() - 1 > connection_.maxColumns()) {
    refusal("The number of columns is greater than maximum value!");
    return false;
  }
  if (static_cast<std::int64_t>(firstRow) + tableRows() - 1 > connection_.maxRows()) {
    refusal("The number of rows is greater than maximum value!");
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Handlers

HRESULT OutputWriter::findTargetWorksheet(Dispatch* application, RefPtr<Dispatch>& worksheet) const {
  const Variant book(workbookName), sheet(worksheetName);
  RefPtr<Dispatch> workbook;
  const HRESULT hr = platform::getObjectProperty(application, "Workbooks", workbook, {&book, 1});
  if (platform::FAILED(hr)) return hr;
  return platform::getObjectProperty(workbook.get(), "Worksheets", worksheet, {&sheet, 1});
}

std::unique_ptr<platform::SafeArray> OutputWriter::buildBlock() const {
  const std::int32_t rows = tableRows(), columns = tableColumns();
  if (rows <= 0 || columns <= 0) return nullptr;
  auto block =
      platform::SafeArray::create2D(static_cast<std::uint32_t>(rows), static_cast<std::uint32_t>(columns));
  if (!block) return nullptr;
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t j = 0; j < columns; ++j)
      block->at(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)) = cellValue(i, j);
  return block;
}

HRESULT OutputWriter::assignBlock(Dispatch* worksheet, std::unique_ptr<platform::SafeArray> block) const {
  const auto rows = static_cast<std::int32_t>(block->rows());
  const auto columns = static_cast<std::int32_t>(block->cols());
  const Variant corners[2] = {Variant(cellName(firstRow, firstColumn)),
                              Variant(cellName(firstRow + rows - 1, firstColumn + columns - 1))};
  RefPtr<Dispatch> range;
  const HRESULT hr = platform::getObjectProperty(worksheet, "Range", range, corners);
  if (platform::FAILED(hr)) return hr;
  return platform::putProperty(range.get(), "Value", Variant(std::move(block)));
}

void OutputWriter::reportWriteFailure() const {
  show(connection_.constants().writer.writeFailure, "Unable to write data!");
}

void OutputWriter::runBlockHandler(Dispatch* worksheet) {
  RequestEnd end(connection_);
  if (tableRows() <= 0 || tableColumns() <= 0) return;  // nothing to write
  auto block = buildBlock();
  if (!block) {
    const WriterConstants& writer = connection_.constants().writer;
    if (!writer.noBlockMemory.empty()) show(writer.noBlockMemoryBox, std::string(writer.noBlockMemory));
    return;
  }
  // A target that has gone since it was chosen fails the range call; the host's macro reports
  // that itself.
  assignBlock(worksheet, std::move(block));
}

void OutputWriter::runCellHandler(Dispatch* application) {
  RequestEnd end(connection_);
  RefPtr<Dispatch> worksheet;
  if (platform::FAILED(findTargetWorksheet(application, worksheet))) {
    reportWriteFailure();
    return;
  }
  const std::int32_t rows = tableRows(), columns = tableColumns();
  auto progress = openProgressWindow(connection_.constants().writer.cellProgress);
  progress->bringToForeground();
  if (const std::string text = cellWriteText(); !text.empty()) progress->setText(text);
  for (std::int32_t i = 0; i < rows; ++i) {
    for (std::int32_t j = 0; j < columns; ++j) {
      if (platform::FAILED(
              connection_.PutCellValue(worksheet.get(), firstRow + i, firstColumn + j, cellValue(i, j)))) {
        // The cells written so far stay; the user learns that the rest is missing.
        progress->close();
        reportWriteFailure();
        return;
      }
    }
    if ((i + 1) % kRowsPerProgressStep == 0)
      progress->setPosition(static_cast<int>(static_cast<std::int64_t>(i + 1) * kProgressFullScale / rows));
  }
  progress->finish(kProgressFinishedPause);
  progress->close();
}
