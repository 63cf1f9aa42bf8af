#pragma once

#include <cstdint>
#include <string>

#include "kohonen/engine/kohonen_net.h"
#include "shared/gridwise_data_set.h"
#include "shared/output_writer.h"

// Gridwise's output to a worksheet: for every data row, in table order, optionally its row ID,
// then the row letters of the cell the row falls into and that cell's 1-based column number.
// The winners are recomputed from the working matrix while the table is written.
//
// The net and the data set are read on the host's thread while the session's thread waits in
// the hand-over, so they must not change between output() and the end of the write; bind()
// points the writer at them before each output.
class GridwiseOutput final : public OutputWriter {
 public:
  static constexpr char kWritingIdsText[] = "Writing IDs ...";
  static constexpr char kWritingCellNamesText[] = "Writing cell names ...";

  explicit GridwiseOutput(ExcelConnection& connection) : OutputWriter(connection) {}

  // The net and data set to write from (both must outlive the write) and whether IDs lead.
  void bind(const KohonenNet& net, const GridwiseDataSet& dataSet, bool withIds);

  // Two passes: the IDs, then the cell names, each under the output progress window.
  void runCellHandler(platform::Dispatch* application) override;

  // The table (0-based); exposed for the session's tests of what lands in the sheet.
  std::int32_t tableRows() const override;
  std::int32_t tableColumns() const override;
  platform::Variant cellValue(std::int32_t row, std::int32_t column) const override;

 private:
  CellPos winnerOf(std::int32_t row) const;
  // Writes one column pass; false when the host refused a cell (the user has been told).
  bool writePass(platform::Dispatch* worksheet, ProgressWindow& progress, const char* text, bool ids,
                 std::int32_t column);

  const KohonenNet* net_ = nullptr;
  const GridwiseDataSet* dataSet_ = nullptr;
  bool withIds_ = false;
  // The winner of the row asked for last: the columns of one row share it.
  mutable std::int32_t cachedRow_ = -1;
  mutable CellPos cachedWinner_;
};
