#include "kohonen/engine/cell_index.h"

namespace {
constexpr std::int32_t kLetters = 26;
}

namespace kohonen {

std::string rowLetters(std::int32_t row) {
  std::string letters;
  if (row / kLetters != 0) letters += static_cast<char>('A' + row / kLetters - 1);
  letters += static_cast<char>('A' + row % kLetters);
  return letters;
}

std::string cellName(std::int32_t row, std::int32_t column) {
  return rowLetters(row) + std::to_string(column + 1);
}

std::vector<std::string> allCellNames(std::int32_t rows, std::int32_t columns) {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns));
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < columns; ++c) names.push_back(cellName(r, c));
  }
  return names;
}

}  // namespace kohonen

void CellIndex::clear() {
  rows_ = 0;
  columns_ = 0;
  start_.clear();
  dataRows_.clear();
  cellOfRow_.clear();
}

void CellIndex::rebuild(const KohonenNet& net, const RealMatrix& data) {
  if (data.Cols() != net.dimension()) {
    throw IllegalMatrixSizeException("CellIndex::rebuild: data columns differ from the net dimension");
  }
  clear();
  rows_ = net.rows();
  columns_ = net.columns();
  const std::int32_t n = data.Rows();
  const std::int32_t cells = net.cellCount();
  cellOfRow_.resize(static_cast<std::size_t>(n));
  start_.assign(static_cast<std::size_t>(cells) + 1, 0);
  const double* values = data.data();
  for (std::int32_t i = 0; i < n; ++i) {
    const CellPos w = net.findWinner(values + static_cast<std::int64_t>(i) * data.Cols());
    const std::int32_t cell = w.row * columns_ + w.column;
    cellOfRow_[static_cast<std::size_t>(i)] = cell;
    ++start_[static_cast<std::size_t>(cell) + 1];
  }
  // Counting sort: prefix sums give each cell's first slot; rows are placed in ascending order,
  // so every cell keeps its rows in data-row order.
  for (std::int32_t k = 0; k < cells; ++k) start_[k + 1] += start_[k];
  dataRows_.resize(static_cast<std::size_t>(n));
  std::vector<std::int32_t> next(start_.begin(), start_.end() - 1);
  for (std::int32_t i = 0; i < n; ++i) {
    dataRows_[static_cast<std::size_t>(next[static_cast<std::size_t>(cellOfRow_[i])]++)] = i;
  }
}

std::span<const std::int32_t> CellIndex::rowsIn(std::int32_t r, std::int32_t c) const {
  if (r < 0 || c < 0 || r >= rows_ || c >= columns_) return {};
  const std::size_t cell = static_cast<std::size_t>(r * columns_ + c);
  return std::span<const std::int32_t>(dataRows_.data() + start_[cell],
                                       static_cast<std::size_t>(start_[cell + 1] - start_[cell]));
}

CellPos CellIndex::cellOf(std::int32_t i) const {
  const std::int32_t cell = cellOfRow_[static_cast<std::size_t>(i)];
  return CellPos{cell / columns_, cell % columns_};
}
