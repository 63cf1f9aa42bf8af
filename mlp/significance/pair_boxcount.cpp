#include "mlp/significance/pair_boxcount.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "shared/exceptions.h"
#include "shared/portable_math.h"

namespace significance {

namespace {

// Weight of the joint box count in the bias of the mutual-information estimate: each occupied
// joint box adds about 1.75 / n bits of spurious information.
constexpr double kBiasPerBox = 1.75;

std::vector<ColumnRef> unitColumns(const std::vector<double>& values, std::int32_t n, std::size_t count) {
  std::vector<ColumnRef> columns(count);
  for (std::size_t c = 0; c < count; ++c)
    columns[c] = ColumnRef{values.data() + c * static_cast<std::size_t>(n), 1};
  return columns;
}

// Consecutive levels from 1 whose value in `column` stays below the threshold.
std::int32_t reliableCount(const PairTable& table, std::int32_t column, double threshold) {
  std::int32_t count = 0;
  for (std::int32_t level = 1; level < kBoxLevels && table[level][column] < threshold; ++level) ++count;
  return count;
}

std::vector<ColumnRef> matrixColumns(const RealMatrix& m) {
  std::vector<ColumnRef> columns(static_cast<std::size_t>(m.Cols()));
  for (std::int32_t d = 0; d < m.Cols(); ++d) columns[d] = ColumnRef{m.data() + d, m.Cols()};
  return columns;
}

}  // namespace

void rescaleToUnit(std::span<const ColumnRef> columns, std::int32_t n, std::vector<double>& out) {
  double lo = columns[0].values[0];
  double hi = lo;
  for (const ColumnRef& c : columns) {
    for (std::int32_t i = 0; i < n; ++i) {
      lo = std::min(lo, c.values[i * c.stride]);
      hi = std::max(hi, c.values[i * c.stride]);
    }
  }
  try {
    out.assign(columns.size() * static_cast<std::size_t>(n), 0.0);
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException("Out of memory");
  }
  const double span = hi - lo;
  // Equal extremes (or an overflowing span) leave the zeros: one box at every level.
  if (!(span > 0.0) || !std::isfinite(span)) return;
  double* target = out.data();
  for (const ColumnRef& c : columns) {
    for (std::int32_t i = 0; i < n; ++i) *target++ = (c.values[i * c.stride] - lo) / span;
  }
}

PairBoxcountResult combinePair(const BoxStatisticsTable& sa, const BoxStatisticsTable& sb,
                               const BoxStatisticsTable& joint, std::int32_t n) {
  PairBoxcountResult result;
  for (std::int32_t level = 0; level < kBoxLevels; ++level) {
    const double ha = sa[level].entropy;
    const double hb = sb[level].entropy;
    const double hab = joint[level].entropy;
    result.table[level] =
        PairRow{static_cast<double>(level), ha, hb, hab, ha + hb - hab, joint[level].boxes * kBiasPerBox / n};
  }
  // Levels whose entropy reaches ½·log2 n have, on average, fewer than √n points per box.
  const double threshold = 0.5 * portable_math::log2(static_cast<double>(n));
  result.reliable.a = reliableCount(result.table, kEntropyAColumn, threshold);
  result.reliable.b = reliableCount(result.table, kEntropyBColumn, threshold);
  result.reliable.joint = reliableCount(result.table, kJointEntropyColumn, threshold);
  return result;
}

PairBoxcountResult pairBoxcount(std::span<const ColumnRef> a, std::span<const ColumnRef> b, std::int32_t n) {
  if (n < 1 || a.empty() || b.empty()) {
    throw IllegalMatrixSizeException("PairBoxcount: both sides need at least one row and one column");
  }
  std::vector<double> unitA, unitB;
  rescaleToUnit(a, n, unitA);
  rescaleToUnit(b, n, unitB);
  std::vector<ColumnRef> columnsA = unitColumns(unitA, n, a.size());
  std::vector<ColumnRef> columnsB = unitColumns(unitB, n, b.size());
  std::vector<ColumnRef> joined = columnsA;
  joined.insert(joined.end(), columnsB.begin(), columnsB.end());
  return combinePair(boxStatistics(columnsA, n), boxStatistics(columnsB, n), boxStatistics(joined, n), n);
}

PairBoxcountResult PairBoxcount(const RealMatrix& A, const RealMatrix& B) {
  // The join needs equal row counts; report it as the join does.
  if (A.Rows() != B.Rows()) {
    throw IllegalMatrixSizeException(
        "RealMatrix HorJoin(RealMatrix& m1, RealMatrix &m2): m1.Rows() is not equal to m2.Rows()");
  }
  return pairBoxcount(matrixColumns(A), matrixColumns(B), A.Rows());
}

RealMatrix pairTableMatrix(const PairTable& table) {
  RealMatrix m(kBoxLevels, kPairTableColumns);
  for (std::int32_t level = 0; level < kBoxLevels; ++level) {
    for (std::int32_t c = 0; c < kPairTableColumns; ++c) m(level, c) = table[level][c];
  }
  return m;
}

}  // namespace significance
