#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "mlp/significance/box_statistics.h"
#include "shared/real_matrix.h"

namespace significance {

// Columns of the pair table (17 rows, levels 0 … 16).
enum PairTableColumn : std::int32_t {
  kPairLevelColumn = 0,
  kEntropyAColumn = 1,           // H_A(L)
  kEntropyBColumn = 2,           // H_B(L)
  kJointEntropyColumn = 3,       // H_AB(L), the entropy of [A | B]
  kMutualInformationColumn = 4,  // I(L) = H_A + H_B − H_AB, bits
  kBiasColumn = 5,               // 1.75 · B_AB(L) / n
  kPairTableColumns = 6,
};

using PairRow = std::array<double, kPairTableColumns>;
using PairTable = std::array<PairRow, kBoxLevels>;

// How many consecutive levels 1, 2, … (at most 16) keep the entropy of A, of B and of [A | B]
// below ½·log2 n: the levels whose box populations are large enough to trust.
struct ReliableLevels {
  std::int32_t a = 0;
  std::int32_t b = 0;
  std::int32_t joint = 0;
  bool anyZero() const { return a == 0 || b == 0 || joint == 0; }
};

struct PairBoxcountResult {
  PairTable table{};
  ReliableLevels reliable;
};

// Pair table and reliable-level counts of A (n × a) and B (n × b) given as columns of n values.
// Each side is first rescaled to [0, 1] by its own smallest and largest element over all its
// columns; a side whose elements are all equal (a residual of an exact fit, a constant column)
// becomes all zeros, a single box at every level, instead of a division by zero.
// Thread-safe for distinct outputs: reads the columns, allocates only its own buffers.
PairBoxcountResult pairBoxcount(std::span<const ColumnRef> a, std::span<const ColumnRef> b, std::int32_t n);

// The same for matrices (rows must agree: IllegalMatrixSizeException otherwise).
PairBoxcountResult PairBoxcount(const RealMatrix& A, const RealMatrix& B);

// The pair table as a 17 × 6 matrix.
RealMatrix pairTableMatrix(const PairTable& table);

// Building blocks, exposed so that a caller computing many pairs over the same columns can
// reuse the statistics of each side (the results are identical to pairBoxcount's).

// Copies the columns into `out` (column-major, n values per column) rescaled to [0, 1] by the
// extremes over all of them; all zeros when the extremes are equal or not finite.
void rescaleToUnit(std::span<const ColumnRef> columns, std::int32_t n, std::vector<double>& out);
// Assembles the pair table and the reliable-level counts from the statistics of the rescaled
// sides and of their join.
PairBoxcountResult combinePair(const BoxStatisticsTable& sa, const BoxStatisticsTable& sb,
                               const BoxStatisticsTable& joint, std::int32_t n);

}  // namespace significance
