#pragma once

#include <cstdint>
#include <vector>

#include "shared/real_matrix.h"

// A position on the map: 0-based row and column.
struct CellPos {
  std::int32_t row = 0;
  std::int32_t column = 0;
  friend bool operator==(const CellPos&, const CellPos&) = default;
};

// A rectangular self-organising map of rows × columns cells, each holding a weight vector of
// `dimension` doubles, trained online with a Gaussian neighbourhood on a rectangular lattice.
//
// Storage: the weights are kept as `dimension` planes of rows·columns values (component k of
// cell (r, c) at k·rows·columns + r·columns + c). The winner search then runs over contiguous
// cells for each component and vectorises, while every cell's distance is still summed in
// component order. The stored file layout (cell by cell) is produced by the project writer.
//
// Not for concurrent use: the winner search and training use scratch buffers owned by the net
// (allocated once at construction, so no pass allocates).
class KohonenNet {
 public:
  // Builds a rows × columns map of dimension-long vectors, kernel all 0.0, and fills the
  // weights with randomize(1.0). Sizes below 1 throw IllegalSizeException; an allocation
  // failure throws OutOfMemoryException "Out of memory".
  KohonenNet(std::int32_t rows, std::int32_t columns, std::int32_t dimension);

  // Tag for building a net whose weights are about to be overwritten (project reader): the
  // weights are zero and no random numbers are drawn.
  struct Uninitialised {};
  KohonenNet(std::int32_t rows, std::int32_t columns, std::int32_t dimension, Uninitialised);

  std::int32_t rows() const { return rows_; }
  std::int32_t columns() const { return columns_; }
  std::int32_t dimension() const { return dimension_; }
  std::int32_t cellCount() const { return rows_ * columns_; }

  // Component k of the weight vector of cell (r, c); no bounds checks.
  double weight(std::int32_t r, std::int32_t c, std::int32_t k) const {
    return weights_[planeIndex(r, c, k)];
  }
  void setWeight(std::int32_t r, std::int32_t c, std::int32_t k, double value) {
    weights_[planeIndex(r, c, k)] = value;
  }
  // Copies the weight vector of cell (r, c) into out (dimension doubles).
  void copyCell(std::int32_t r, std::int32_t c, double* out) const;
  std::vector<double> cellWeights(std::int32_t r, std::int32_t c) const;

  // The neighbourhood weight for a row offset i and a column offset j (both ≥ 0) as set by the
  // last setStiffness (rows × columns; all zero before the first call).
  const RealMatrix& kernel() const { return kernel_; }

  // Root-mean-square difference between cell (r, c) and x (dimension doubles):
  // sqrt(Σₖ (wₖ − xₖ)² / dimension).
  double cellDistance(std::int32_t r, std::int32_t c, const double* x) const;

  // The best-matching cell for x (dimension doubles): the first cell in row-major order whose
  // cellDistance is strictly smaller than that of every cell before it.
  CellPos findWinner(const double* x) const;

  // Recomputes the kernel for stiffness s: σ = max(s, 0.0001),
  // kernel(i, j) = exp(−(i² + j²) / (2σ²)), exactly 0 where that exponent exceeds 50.
  void setStiffness(double s);

  // One online pass over the rows of data (n × dimension, IllegalMatrixSizeException otherwise)
  // in row order: each row moves every cell with a non-zero kernel value towards itself,
  // w ← w + delta·(h·(x − w)), before the next row is matched.
  void trainEpoch(const RealMatrix& data, double delta);

  // Every component of every cell (cells in index order, components in order) becomes
  // a·(u·0.0001)·2 − a with u = crtRand() mod 10000: a grid of values in [−a, a).
  void randomize(double a);

  // Spreads the map over the plane of the two leading principal components of data
  // (n × dimension): map rows along the first from −σ₁ to +σ₁, map columns along the second
  // from −σ₂ to +σ₂, around the column means. Does nothing when dimension ≤ 1.
  void initFromPrincipalComponents(const RealMatrix& data);

 private:
  std::int64_t planeIndex(std::int32_t r, std::int32_t c, std::int32_t k) const {
    return static_cast<std::int64_t>(k) * cellCount() + static_cast<std::int64_t>(r) * columns_ + c;
  }
  void allocate();
  // Fill squaredDistances_ and return the smallest of them.
  double computeSquaredDistances(const double* x) const;
  CellPos pickWinner(double smallestSum) const;
  double updateTowards(const double* x, CellPos winner, double delta, const double* next);
  void fillSpanTable();
  double* spanTableRow(std::int32_t column, std::int32_t offsetIndex) {
    return spanTable_.data() +
           (static_cast<std::int64_t>(column) * (2 * static_cast<std::int64_t>(rows_) - 1) + offsetIndex) *
               columns_;
  }

  std::int32_t rows_;
  std::int32_t columns_;
  std::int32_t dimension_;
  RealMatrix kernel_;
  std::vector<double> weights_;

  // Derived from the kernel: the number of row offsets with any non-zero value (the kernel
  // falls with the offset, so they are 0 … kernelRows_ − 1).
  std::int32_t kernelRows_ = 0;
  // The kernel with each row mirrored about offset 0: row i holds kernel(i, |d|) at
  // columns − 1 + d for d in −(columns − 1) … columns − 1, so the values of one map row around
  // a winner are one contiguous copy.
  std::vector<double> mirroredKernel_;

  // Scratch: squared distances of every cell to the current row; the kernel values of the
  // cells being updated for one row (at most every cell).
  mutable std::vector<double> squaredDistances_;
  std::vector<double> spanKernel_;
  // Where it is small enough (empty otherwise): for each winner column, 2·rows − 1 kernel rows
  // centred on it (see fillSpanTable), so that no pass copies kernel values per data row.
  std::vector<double> spanTable_;
};
