#include "shared/gridwise_data_set.h"

#include <new>
#include <stdexcept>

#include "shared/binary_io.h"
#include "shared/exceptions.h"

namespace {

constexpr const char* kOutOfMemory = "Out of memory";

// Σ of the column variances of m (the total variance a projection keeps or loses).
double totalVariance(const RealMatrix& m) {
  const RealMatrix deviations = ColStd(m);
  return Sum(ArrayMult(deviations, deviations));
}

}  // namespace

void GridwiseDataSet::attach(const RawTable& table) {
  clearSelection();
  table_ = &table;
  rows_ = table.rowCount;
  rawColumnCount_ = table.columnCount();
  columnNames_ = table.columnNames;
}

const std::vector<std::string>& GridwiseDataSet::rowIds() const {
  static const std::vector<std::string> kNone;
  return table_ ? table_->rowIds : kNone;
}

// Called from a catch handler: a failed change leaves no half-built selection behind, and an
// allocation failure reaches the caller as the library's "Out of memory".
void GridwiseDataSet::abandonSelection() {
  clearSelection();
  try {
    throw;
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException(kOutOfMemory);
  }
}

void GridwiseDataSet::clearSelection() {
  chosenColumns_.clear();
  normalisers_.clear();
  working_ = RealMatrix();
  projection_ = RealMatrix();
  projected_ = false;
  retainedFraction_ = 1.0;
}

RealMatrix GridwiseDataSet::buildWorkingMatrix(std::span<const std::int32_t> columns,
                                               std::vector<GridwiseNormaliser>& normalisers, bool fit) const {
  const auto c = static_cast<std::int32_t>(columns.size());
  RealMatrix working = Zeros(rows_, c);
  double* w = working.data();
  std::vector<double> column(static_cast<std::size_t>(rows_));
  for (std::int32_t j = 0; j < c; ++j) {
    const double* raw = table_->column(columns[static_cast<std::size_t>(j)]);
    GridwiseNormaliser& normaliser = normalisers[static_cast<std::size_t>(j)];
    if (fit)
      normaliser.normalise(raw, column.data(), rows_);
    else
      normaliser.apply(raw, column.data(), rows_);
    for (std::int32_t i = 0; i < rows_; ++i)
      w[static_cast<std::size_t>(i) * c + j] = column[static_cast<std::size_t>(i)];
  }
  return working;
}

void GridwiseDataSet::prepare(std::span<const std::int32_t> chosen,
                              std::span<const NormalisationKind> kindsByRawColumn) {
  if (table_ == nullptr || rows_ < 1) throw BadRangeException("No data to choose columns from");
  if (chosen.empty()) throw BadRangeException("No columns are selected");
  for (std::int32_t index : chosen)
    if (index < 0 || index >= rawColumnCount_ || static_cast<std::size_t>(index) >= kindsByRawColumn.size())
      throw BadRangeException("Selected column is out of range");

  clearSelection();
  try {
    std::vector<std::int32_t> columns(chosen.begin(), chosen.end());
    std::vector<GridwiseNormaliser> normalisers;
    normalisers.reserve(columns.size());
    for (std::int32_t index : columns)
      normalisers.emplace_back(kindsByRawColumn[static_cast<std::size_t>(index)]);
    working_ = buildWorkingMatrix(columns, normalisers, true);
    chosenColumns_ = std::move(columns);
    normalisers_ = std::move(normalisers);
  } catch (...) {
    abandonSelection();
  }
}

void GridwiseDataSet::applyProjection(const RealMatrix& projection, double retainedFraction) {
  if (projected_ || chosenColumns_.empty() || projection.Rows() != working_.Cols() || projection.Cols() < 1 ||
      projection.Cols() > projection.Rows())
    throw IllegalMatrixSizeException("Projection doesn't fit the selected columns");
  try {
    working_ = working_ * projection;
    projection_ = projection;
    projected_ = true;
    retainedFraction_ = retainedFraction;
  } catch (...) {
    abandonSelection();
  }
}

void GridwiseDataSet::writeBlock(std::ostream& out) const {
  if (chosenColumns_.empty()) throw BadRangeException("No columns are selected");
  BinaryWriter writer(out);
  writer.writeTag(std::string_view(kBlockTag, sizeof kBlockTag - 1));
  writer.writeInt32(chosenCount());
  writer.writeInt32(rawColumnCount_);
  for (std::int32_t index : chosenColumns_) writer.writeInt32(index);
  for (const GridwiseNormaliser& normaliser : normalisers_) normaliser.write(out);
  writer.writeInt32(projected_ ? 1 : 0);
  if (!projected_) return;
  writer.writeInt32(projection_.Cols());
  writer.writeDoubles(projection_.data(), static_cast<std::size_t>(projection_.Size()));
}

void GridwiseDataSet::readBlock(std::istream& in) {
  clearSelection();
  try {
    BinaryReader reader(in);
    if (!reader.readTag(std::string_view(kBlockTag, sizeof kBlockTag - 1), "tag"))
      throw IllegalDataFormatException(kFormatMessage);
    const std::int32_t c = reader.readInt32("chosen count");
    const std::int32_t n = reader.readInt32("raw column count");
    // Every chosen column is a distinct column of the table the block was made from.
    if (c < 1 || n < 0 || c > n) throw IllegalDataFormatException(kFormatMessage);
    if (table_ == nullptr || n > rawColumnCount_ || rows_ < 1) throw BadProjectException(kMismatchMessage);

    std::vector<std::int32_t> columns(static_cast<std::size_t>(c));
    for (std::int32_t& index : columns) {
      index = reader.readInt32("chosen column");
      if (index < 0 || index >= rawColumnCount_) throw BadProjectException(kMismatchMessage);
    }
    std::vector<GridwiseNormaliser> normalisers(static_cast<std::size_t>(c));
    for (GridwiseNormaliser& normaliser : normalisers) normaliser.read(in);

    const bool projected = reader.readInt32("projected flag") != 0;
    RealMatrix projection;
    if (projected) {
      const std::int32_t p = reader.readInt32("component count");
      if (p < 1 || p > c) throw IllegalDataFormatException(kFormatMessage);
      projection = RealMatrix(c, p);
      reader.readDoubles(projection.data(), static_cast<std::size_t>(projection.Size()), "projection matrix");
    }

    RealMatrix working = buildWorkingMatrix(columns, normalisers, false);
    double retained = 1.0;
    if (projected) {
      // The share of the variance the stored directions keep, measured on this table.
      const double total = totalVariance(working);
      working = working * projection;
      const double kept = totalVariance(working);
      // Constant columns have nothing to lose: count them as fully kept rather than 0 / 0.
      retained = total > 0.0 ? kept / total : 1.0;
    }

    chosenColumns_ = std::move(columns);
    normalisers_ = std::move(normalisers);
    working_ = working;
    projection_ = projection;
    projected_ = projected;
    retainedFraction_ = retained;
  } catch (...) {
    abandonSelection();
  }
}
