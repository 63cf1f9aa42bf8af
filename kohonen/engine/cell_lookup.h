#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kohonen/engine/cell_index.h"
#include "kohonen/engine/kohonen_net.h"
#include "shared/gridwise_data_set.h"

// What the "Cell description" and "Cell finder" dialogs list, computed from the net, the
// data set (with its raw table) and the cell index.

// The lists of "Cell description" for one cell.
struct CellDescription {
  std::vector<std::string> rowIds;        // "Data points in this cell:", in cell-index order
  std::int32_t count = 0;                 // "Number of points:"
  std::vector<std::string> centreLines;   // "Cell center:", one "%5.3g - %s" per selected column
  std::vector<std::string> averageLines;  // "Cell averages:", one "%5.3g - %s" per raw column;
                                          // empty for a cell without rows
};

// One list line: value formatted "%5.3g", " - ", then the name.
std::string describeValue(double value, const std::string& name);

// The cell's weight vector taken back to the selected columns' own units: through the
// projection matrix when one is in use (C × P times P × 1), then each column's denormalise.
std::vector<double> cellCentre(const KohonenNet& net, const GridwiseDataSet& dataSet, CellPos cell);

// Everything the dialog lists for cell. The data set must have a selection whose working
// matrix the net was trained on and an attached raw table; index must be built from them.
CellDescription describeCell(const KohonenNet& net, const CellIndex& index, const GridwiseDataSet& dataSet,
                             CellPos cell);

// The ID shown for data row i: the table's row ID, or the 1-based row number when the table
// keeps no IDs.
std::string rowLabel(const GridwiseDataSet& dataSet, std::int32_t i);

// Longest text the finder's "Use IDs that contain substring:" field accepts.
inline constexpr std::size_t kMaxFinderText = 50;

// The finder's list: in row order the rows whose ID contains text (case-sensitive); nothing
// for an empty text.
std::vector<std::int32_t> rowsWithIdContaining(const std::vector<std::string>& ids, std::string_view text);
// The finder's list with "Show all IDs": every row in order.
std::vector<std::int32_t> allRows(std::int32_t n);

// What the finder shows for a selected data row: the name of its cell and the IDs of all rows
// of that cell (the row itself included), in cell-index order.
struct FoundRow {
  std::string cellName;
  std::vector<std::string> cellRowIds;
};
FoundRow describeFoundRow(const CellIndex& index, const GridwiseDataSet& dataSet, std::int32_t row);
