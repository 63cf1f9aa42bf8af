#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "mlp/significance/box_code.h"
#include "shared/real_matrix.h"

namespace significance {

// Levels 0 … 16 of the box statistics table.
inline constexpr int kBoxLevels = kFinestBoxLevel + 1;

// One level of the box statistics of an n × D matrix.
struct BoxLevel {
  double level = 0.0;
  double boxes = 0.0;             // B(L), occupied boxes
  double log2Boxes = 0.0;         // log2 B(L)
  double entropy = 0.0;           // H(L) = −Σ p·log2 p, p = points in the box / n, in bits
  double collisionEntropy = 0.0;  // H2(L) = −log2 Σ p², in bits
};
using BoxStatisticsTable = std::array<BoxLevel, kBoxLevels>;

// Columns of the 17 × 5 matrix form of the table.
enum BoxStatisticsColumn : std::int32_t {
  kLevelColumn = 0,
  kBoxCountColumn = 1,
  kLog2BoxCountColumn = 2,
  kEntropyColumn = 3,
  kCollisionEntropyColumn = 4,
  kBoxStatisticsColumns = 5,
};

// A column of n values spaced `stride` doubles apart (1 for column-major data, the column
// count for a row-major matrix).
struct ColumnRef {
  const double* values = nullptr;
  std::ptrdiff_t stride = 1;
};

// Box statistics of the n points whose coordinates are the given columns (D = columns.size(),
// 1 ≤ D). All coordinates share one quantisation range, the smallest to the largest value over
// every column; the largest value maps to 65534. When all values are equal every point lies in
// the one box of every level. The codes are allocated once per call (OutOfMemoryException
// "Out of memory" when that fails) and nothing else touches the heap, so calls on different
// data may run on different threads.
BoxStatisticsTable boxStatistics(std::span<const ColumnRef> columns, std::int32_t n);

// The same for a matrix, one point per row, as a 17 × 5 matrix (columns above).
RealMatrix BoxStatistics(const RealMatrix& m);

// The 16-bit quantisation of x in the range lo … hi (lo < hi): truncation toward zero of
// (x − lo) · 0.999999999 / (hi − lo) · 65535, which keeps the largest value at 65534 so the
// top half-open box of every level includes it. Values outside the range (or not a number)
// are clamped to 0 … 65534.
std::uint16_t quantise(double x, double lo, double hi);

}  // namespace significance
