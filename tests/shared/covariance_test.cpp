// The covariance, computed in register tiles over panels of rows, against the plain loop of its
// documented order (each element sums its products over the rows in ascending order, lower
// triangle mirrored) on every build of the kernels: the same bits for shapes at and around the
// tile and panel sizes.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "shared/real_matrix.h"
#include "shared/simd.h"
#include "shared/simd_wide.h"

namespace {

// Values over many binary orders of magnitude and an offset, so that any other order of the
// additions, or a product not rounded on its own, changes the last bits.
RealMatrix spreadMatrix(std::int32_t rows, std::int32_t cols, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-12, 12);
  RealMatrix m(rows, cols);
  for (std::int32_t i = 0; i < rows; ++i)
    for (std::int32_t j = 0; j < cols; ++j) m(i, j) = 3.0 + std::ldexp(mantissa(gen), exponent(gen));
  return m;
}

RealMatrix plainCov(const RealMatrix& m) {
  const std::int32_t rows = m.Rows(), n = m.Cols();
  RealMatrix c = Zeros(n, n);
  if (rows < 2) return c;
  const RealMatrix mean = ColMean(m);
  for (std::int32_t i = 0; i < n; ++i)
    for (std::int32_t j = 0; j <= i; ++j) {
      double s = 0.0;
      for (std::int32_t k = 0; k < rows; ++k) s += (m(k, i) - mean(0, i)) * (m(k, j) - mean(0, j));
      c(i, j) = s / (rows - 1);
      c(j, i) = c(i, j);
    }
  return c;
}

bool sameBytes(const RealMatrix& a, const RealMatrix& b) {
  return a.Rows() == b.Rows() && a.Cols() == b.Cols() &&
         std::memcmp(a.data(), b.data(), static_cast<std::size_t>(a.Size()) * sizeof(double)) == 0;
}

// Runs f on the baseline, the four-lane AVX2 and the eight-lane AVX-512 build, those this
// processor has.
void onEveryBuild(const std::function<void(const char*)>& f) {
  {
    simd::ScopedPath baseline(simd::Path::kBaseline);
    f("baseline");
  }
  simd::ScopedPath avx2(simd::Path::kAvx2);
  if (!avx2.ok()) return;
  {
    simd_wide::ScopedNarrow narrow;
    f("AVX2");
  }
  if (simd_wide::available()) f("AVX-512");
}

TEST(Covariance, SameBitsAsThePlainLoopAroundTileAndPanelSizes) {
  // Columns below, at and past a tile's 6 rows and 8 or 16 columns; rows across the 128-row
  // panels.
  const std::int32_t columnCounts[] = {1, 5, 6, 7, 13, 16, 17, 40};
  const std::int32_t rowCounts[] = {2, 3, 127, 128, 129, 300};
  for (std::int32_t cols : columnCounts) {
    for (std::int32_t rows : rowCounts) {
      const RealMatrix m = spreadMatrix(rows, cols, static_cast<unsigned>(rows * 100 + cols));
      const RealMatrix expected = plainCov(m);
      onEveryBuild([&](const char* build) {
        EXPECT_TRUE(sameBytes(Cov(m), expected)) << rows << " x " << cols << " on " << build;
      });
    }
  }
}

TEST(Covariance, SymmetricWithTheVariancesOnTheDiagonal) {
  const RealMatrix m = spreadMatrix(50, 23, 4);
  const RealMatrix c = Cov(m);
  const RealMatrix sd = ColStd(m);
  for (std::int32_t i = 0; i < 23; ++i) {
    EXPECT_NEAR(c(i, i), sd(0, i) * sd(0, i), 1e-12 * c(i, i));
    for (std::int32_t j = 0; j < i; ++j) EXPECT_EQ(c(i, j), c(j, i));
  }
}

}  // namespace
