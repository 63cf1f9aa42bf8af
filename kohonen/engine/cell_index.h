#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kohonen/engine/kohonen_net.h"

// Names of map cells. In a namespace of their own: the shared library names worksheet cells
// with a global function of the same name and signature.
namespace kohonen {

// The letters of a map row: "A" … "Z", then "AA" … (row 255 gives "IV").
std::string rowLetters(std::int32_t row);

// The user's name of a map cell: the row letters followed by column + 1, e.g. (0, 0) → "A1",
// (2, 11) → "C12", (26, 0) → "AA1".
std::string cellName(std::int32_t row, std::int32_t column);

// The names of all cells of a rows × columns map in row-major order (the order of the
// "Active cell:" list).
std::vector<std::string> allCellNames(std::int32_t rows, std::int32_t columns);

}  // namespace kohonen

// Which data rows fall into which cell of the current net: the triples (cell row, cell column,
// data row) ordered by cell (row-major) and, within a cell, by ascending data row. Valid from
// a rebuild until the net or the data changes.
class CellIndex {
 public:
  // Forgets every entry.
  void clear();
  // Recomputes the winner of every row of data (n × dimension of the net) and rebuilds the
  // index from them.
  void rebuild(const KohonenNet& net, const RealMatrix& data);

  bool empty() const { return cellOfRow_.empty(); }
  std::int32_t rows() const { return rows_; }
  std::int32_t columns() const { return columns_; }
  // Number of data rows indexed.
  std::int32_t dataRowCount() const { return static_cast<std::int32_t>(cellOfRow_.size()); }

  // The data rows of cell (r, c) in ascending order; empty for a cell outside the map.
  std::span<const std::int32_t> rowsIn(std::int32_t r, std::int32_t c) const;
  std::int32_t count(std::int32_t r, std::int32_t c) const {
    return static_cast<std::int32_t>(rowsIn(r, c).size());
  }
  // The winner cell of data row i (0 ≤ i < dataRowCount()).
  CellPos cellOf(std::int32_t i) const;

 private:
  std::int32_t rows_ = 0;
  std::int32_t columns_ = 0;
  // Data rows grouped by cell; the rows of cell k are dataRows_[start_[k] … start_[k + 1] − 1].
  std::vector<std::int32_t> start_;
  std::vector<std::int32_t> dataRows_;
  // Row-major cell index of each data row's winner.
  std::vector<std::int32_t> cellOfRow_;
};
