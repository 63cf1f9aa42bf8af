#include "kohonen/engine/cell_lookup.h"

#include <cstdio>

std::string describeValue(double value, const std::string& name) {
  char number[64];
  std::snprintf(number, sizeof number, "%5.3g", value);
  return std::string(number) + " - " + name;
}

std::string rowLabel(const GridwiseDataSet& dataSet, std::int32_t i) {
  const std::vector<std::string>& ids = dataSet.rowIds();
  if (static_cast<std::size_t>(i) < ids.size()) return ids[static_cast<std::size_t>(i)];
  return std::to_string(i + 1);
}

std::vector<double> cellCentre(const KohonenNet& net, const GridwiseDataSet& dataSet, CellPos cell) {
  std::vector<double> w = net.cellWeights(cell.row, cell.column);
  const std::int32_t chosen = dataSet.chosenCount();
  std::vector<double> centre(static_cast<std::size_t>(chosen), 0.0);
  if (dataSet.projected()) {
    const RealMatrix& p = dataSet.projectionMatrix();
    if (p.Rows() != chosen || p.Cols() != net.dimension()) {
      throw IllegalMatrixSizeException("cellCentre: projection does not fit the net");
    }
    for (std::int32_t j = 0; j < chosen; ++j) {
      double s = 0.0;
      for (std::int32_t k = 0; k < p.Cols(); ++k) s += p(j, k) * w[static_cast<std::size_t>(k)];
      centre[static_cast<std::size_t>(j)] = s;
    }
  } else {
    if (chosen != net.dimension())
      throw IllegalMatrixSizeException("cellCentre: selection does not fit the net");
    centre = w;
  }
  const std::vector<GridwiseNormaliser>& normalisers = dataSet.normalisers();
  for (std::int32_t j = 0; j < chosen; ++j) {
    centre[static_cast<std::size_t>(j)] = normalisers[static_cast<std::size_t>(j)].denormalise(centre[j]);
  }
  return centre;
}

CellDescription describeCell(const KohonenNet& net, const CellIndex& index, const GridwiseDataSet& dataSet,
                             CellPos cell) {
  CellDescription d;
  const std::span<const std::int32_t> rows = index.rowsIn(cell.row, cell.column);
  d.count = static_cast<std::int32_t>(rows.size());
  for (std::int32_t i : rows) d.rowIds.push_back(rowLabel(dataSet, i));

  const std::vector<std::string>& names = dataSet.columnNames();
  const std::vector<double> centre = cellCentre(net, dataSet, cell);
  for (std::size_t j = 0; j < centre.size(); ++j) {
    const std::size_t column = static_cast<std::size_t>(dataSet.chosenColumns()[j]);
    d.centreLines.push_back(describeValue(centre[j], column < names.size() ? names[column] : std::string()));
  }

  const RawTable* table = dataSet.table();
  if (rows.empty() || table == nullptr) return d;
  for (std::int32_t c = 0; c < table->columnCount(); ++c) {
    const double* values = table->column(c);
    double sum = 0.0;
    for (std::int32_t i : rows) sum += values[i];
    const std::size_t column = static_cast<std::size_t>(c);
    d.averageLines.push_back(
        describeValue(sum / static_cast<double>(rows.size()),
                      column < table->columnNames.size() ? table->columnNames[column] : std::string()));
  }
  return d;
}

std::vector<std::int32_t> rowsWithIdContaining(const std::vector<std::string>& ids, std::string_view text) {
  std::vector<std::int32_t> found;
  if (text.empty()) return found;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    if (ids[i].find(text) != std::string::npos) found.push_back(static_cast<std::int32_t>(i));
  }
  return found;
}

std::vector<std::int32_t> allRows(std::int32_t n) {
  std::vector<std::int32_t> rows(static_cast<std::size_t>(n > 0 ? n : 0));
  for (std::int32_t i = 0; i < n; ++i) rows[static_cast<std::size_t>(i)] = i;
  return rows;
}

FoundRow describeFoundRow(const CellIndex& index, const GridwiseDataSet& dataSet, std::int32_t row) {
  FoundRow found;
  const CellPos cell = index.cellOf(row);
  found.cellName = kohonen::cellName(cell.row, cell.column);
  for (std::int32_t i : index.rowsIn(cell.row, cell.column)) found.cellRowIds.push_back(rowLabel(dataSet, i));
  return found;
}
