#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "shared/normaliser.h"
#include "shared/raw_table.h"
#include "shared/real_matrix.h"

// Gridwise's data set: the chosen raw columns, one normaliser each, and the working matrix the
// map is trained on (R × C normalised values, or R × P after a principal-component projection,
// with the C × P projection matrix). It refers to the raw table without owning it.
//
// Allocation failures throw OutOfMemoryException "Out of memory". Arguments are checked before
// anything changes; when prepare, applyProjection or readBlock fails after that, the data set
// is left without a selection (chosenCount() 0, not projected), never half built.
class GridwiseDataSet {
 public:
  // The tag that opens the data-set block.
  static constexpr char kBlockTag[] = "GWDATA";
  // Message of every malformed block.
  static constexpr const char* kFormatMessage = "data format doesn't match to expected one";
  // Message of a block that refers to columns the current table does not have.
  static constexpr const char* kMismatchMessage = "Project and raw data don't match each other";

  GridwiseDataSet() = default;
  explicit GridwiseDataSet(const RawTable& table) { attach(table); }

  // Refers to table (which must outlive the data set): copies its column names, takes its row
  // and column counts, and drops any previous selection.
  void attach(const RawTable& table);

  // Chooses the columns: C := chosen.size(); each normaliser gets kindsByRawColumn[chosen[j]]
  // and normalises raw column chosen[j] into working column j. Clears the projection
  // (retained fraction 1). Needs an attached table, C ≥ 1, every index in 0..N−1 and a kind
  // for every chosen index (BadRangeException otherwise, before anything changes).
  void prepare(std::span<const std::int32_t> chosen, std::span<const NormalisationKind> kindsByRawColumn);

  // Replaces the working matrix W (R × C) by W × projection (projection C × P, 1 ≤ P ≤ C),
  // keeps the projection and sets the retained fraction (principal-component step).
  // IllegalMatrixSizeException when the sizes do not fit or the set is already projected.
  void applyProjection(const RealMatrix& projection, double retainedFraction);

  // Writes the block: "GWDATA", C, N, the C chosen indices, C normaliser records, the projected
  // flag, and when projected P and the C × P projection row-major. The caller checks the stream.
  // BadRangeException when no columns are chosen (such a block could not be read back).
  void writeBlock(std::ostream& out) const;

  // Reads a block written by writeBlock against the attached table, rebuilds the working matrix
  // with the stored parameters and, when projected, re-projects it and recomputes the retained
  // fraction from the column variances. IllegalDataFormatException kFormatMessage for a wrong
  // tag, a short block, C < 1, C > stored N, P < 1 or P > C, or a bad normaliser record;
  // BadProjectException kMismatchMessage when the stored N exceeds the table's column count or a
  // stored index is negative or not below it. Counts are checked before anything is allocated.
  void readBlock(std::istream& in);

  const RawTable* table() const { return table_; }
  std::int32_t rows() const { return rows_; }
  std::int32_t rawColumnCount() const { return rawColumnCount_; }
  std::int32_t chosenCount() const { return static_cast<std::int32_t>(chosenColumns_.size()); }
  const std::vector<std::int32_t>& chosenColumns() const { return chosenColumns_; }
  const std::vector<GridwiseNormaliser>& normalisers() const { return normalisers_; }
  const std::vector<std::string>& columnNames() const { return columnNames_; }
  // The row IDs of the attached table (empty when it has none).
  const std::vector<std::string>& rowIds() const;

  // R × C normalised values, or R × P after projection. Meaningful while chosenCount() > 0.
  const RealMatrix& workingMatrix() const { return working_; }
  bool projected() const { return projected_; }
  // C × P principal directions; meaningful while projected().
  const RealMatrix& projectionMatrix() const { return projection_; }
  // Share of the total variance that the projection keeps (1 without projection).
  double retainedFraction() const { return retainedFraction_; }

  // Drops the selection, the working matrix and the projection.
  void clearSelection();

 private:
  [[noreturn]] void abandonSelection();
  // R × C matrix of raw column columns[j] normalised by normalisers[j] (fitting or applying).
  RealMatrix buildWorkingMatrix(std::span<const std::int32_t> columns,
                                std::vector<GridwiseNormaliser>& normalisers, bool fit) const;

  const RawTable* table_ = nullptr;
  std::int32_t rows_ = 0;
  std::int32_t rawColumnCount_ = 0;
  std::vector<std::string> columnNames_;
  std::vector<std::int32_t> chosenColumns_;
  std::vector<GridwiseNormaliser> normalisers_;
  RealMatrix working_;
  RealMatrix projection_;
  bool projected_ = false;
  double retainedFraction_ = 1.0;
};
