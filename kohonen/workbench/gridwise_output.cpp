#include "kohonen/workbench/gridwise_output.h"

#include "kohonen/engine/cell_index.h"
#include "kohonen/engine/cell_lookup.h"
#include "shared/tool_ui.h"

using platform::Dispatch;
using platform::RefPtr;
using platform::Variant;

namespace {

// The bar moves after every this many rows; each pass ends at full scale and rests briefly.
constexpr std::int32_t kRowsPerProgressStep = 10;

// Clears the pending request and busy however the handler ends.
class RequestEnd {
 public:
  explicit RequestEnd(ExcelConnection& connection) : connection_(connection) {}
  ~RequestEnd() { connection_.endRequest(); }
  RequestEnd(const RequestEnd&) = delete;
  RequestEnd& operator=(const RequestEnd&) = delete;

 private:
  ExcelConnection& connection_;
};

}  // namespace

void GridwiseOutput::bind(const KohonenNet& net, const GridwiseDataSet& dataSet, bool withIds) {
  net_ = &net;
  dataSet_ = &dataSet;
  withIds_ = withIds;
  cachedRow_ = -1;
}

std::int32_t GridwiseOutput::tableRows() const {
  return dataSet_ ? dataSet_->rows() : 0;
}

std::int32_t GridwiseOutput::tableColumns() const {
  if (!net_ || !dataSet_) return 0;
  return withIds_ ? 3 : 2;
}

CellPos GridwiseOutput::winnerOf(std::int32_t row) const {
  if (row != cachedRow_) {
    const RealMatrix& working = dataSet_->workingMatrix();
    std::vector<double> x(static_cast<std::size_t>(working.Cols()));
    for (std::int32_t k = 0; k < working.Cols(); ++k) x[static_cast<std::size_t>(k)] = working(row, k);
    cachedWinner_ = net_->findWinner(x.data());
    cachedRow_ = row;
  }
  return cachedWinner_;
}

Variant GridwiseOutput::cellValue(std::int32_t row, std::int32_t column) const {
  if (withIds_) {
    if (column == 0) return Variant(rowLabel(*dataSet_, row));
    --column;
  }
  const CellPos cell = winnerOf(row);
  if (column == 0) return Variant(kohonen::rowLetters(cell.row));
  return Variant(static_cast<std::int32_t>(cell.column + 1));
}

bool GridwiseOutput::writePass(Dispatch* worksheet, ProgressWindow& progress, const char* text, bool ids,
                               std::int32_t column) {
  const std::int32_t rows = tableRows();
  progress.setText(text);
  progress.setPosition(0);
  for (std::int32_t i = 0; i < rows; ++i) {
    bool written = true;
    if (ids) {
      written = platform::SUCCEEDED(
          connection().PutCellValue(worksheet, firstRow + i, column, Variant(rowLabel(*dataSet_, i))));
    } else {
      const CellPos cell = winnerOf(i);
      written =
          platform::SUCCEEDED(connection().PutCellValue(worksheet, firstRow + i, column,
                                                        Variant(kohonen::rowLetters(cell.row)))) &&
          platform::SUCCEEDED(connection().PutCellValue(worksheet, firstRow + i, column + 1,
                                                        Variant(static_cast<std::int32_t>(cell.column + 1))));
    }
    if (!written) {
      // The cells written so far stay; the user learns that the rest is missing.
      progress.close();
      reportWriteFailure();
      return false;
    }
    if ((i + 1) % kRowsPerProgressStep == 0)
      progress.setPosition(static_cast<int>(static_cast<std::int64_t>(i + 1) * kProgressFullScale / rows));
  }
  progress.finish(kProgressFinishedPause);
  return true;
}

void GridwiseOutput::runCellHandler(Dispatch* application) {
  RequestEnd end(connection());
  RefPtr<Dispatch> worksheet;
  if (platform::FAILED(findTargetWorksheet(application, worksheet))) {
    reportWriteFailure();
    return;
  }
  if (tableRows() <= 0 || tableColumns() <= 0) return;
  auto progress = openProgressWindow(ProgressVariant::GridwiseOutput);
  progress->bringToForeground();
  std::int32_t resultColumn = firstColumn;
  if (withIds_) {
    if (!writePass(worksheet.get(), *progress, kWritingIdsText, true, firstColumn)) return;
    ++resultColumn;
  }
  if (!writePass(worksheet.get(), *progress, kWritingCellNamesText, false, resultColumn)) return;
  progress->close();
}
