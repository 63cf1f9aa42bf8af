// The baseline and AVX2 builds of the vector kernels, and the matrix results built on them, must
// agree to the bit: same inputs through both paths, results compared byte for byte. The kernels
// are also held to scalar references written in their documented order, with every multiply and
// add rounded separately, so a fused multiply-add or a changed association in either path shows.

#include "shared/simd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "shared/real_matrix.h"
#include "shared/svd.h"

namespace {

using simd::Path;
using simd::ScopedPath;

bool sameBytes(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

bool sameBytes(const RealMatrix& a, const RealMatrix& b) {
  return a.Rows() == b.Rows() && a.Cols() == b.Cols() &&
         std::memcmp(a.data(), b.data(), static_cast<std::size_t>(a.Size()) * sizeof(double)) == 0;
}

// Values spread over many binary orders of magnitude, both signs, so that sums in another order
// or products rounded once instead of twice come out different.
std::vector<double> spreadValues(std::size_t n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-20, 20);
  std::vector<double> v(n);
  for (double& x : v) x = std::ldexp(mantissa(gen), exponent(gen));
  return v;
}

RealMatrix randomMatrix(std::int32_t rows, std::int32_t cols, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  RealMatrix m(rows, cols);
  // Correlated columns with different scales, as real data sets have.
  for (std::int32_t i = 0; i < rows; ++i) {
    const double common = normal(gen);
    for (std::int32_t j = 0; j < cols; ++j) m(i, j) = (j + 1) * (0.7 * common + normal(gen)) + 3.0 * j;
  }
  return m;
}

// Runs f once on each path and expects it to produce the same bytes.
template <class F>
void expectSameOnBothPaths(F f) {
  if (!simd::avx2Available()) GTEST_SKIP() << "this processor has no AVX2";
  decltype(f()) baseline, avx2;
  {
    ScopedPath p(Path::kBaseline);
    ASSERT_TRUE(p.ok());
    baseline = f();
  }
  {
    ScopedPath p(Path::kAvx2);
    ASSERT_TRUE(p.ok());
    avx2 = f();
  }
  EXPECT_TRUE(sameBytes(baseline, avx2));
}

TEST(SimdPathTest, ScopedPathForcesAndRestores) {
  const Path before = simd::activePath();
  {
    ScopedPath baseline(Path::kBaseline);
    EXPECT_TRUE(baseline.ok());
    EXPECT_EQ(simd::activePath(), Path::kBaseline);
    {
      ScopedPath avx2(Path::kAvx2);
      EXPECT_EQ(avx2.ok(), simd::avx2Available());
      EXPECT_EQ(simd::activePath(), simd::avx2Available() ? Path::kAvx2 : Path::kBaseline);
    }
    EXPECT_EQ(simd::activePath(), Path::kBaseline);
  }
  EXPECT_EQ(simd::activePath(), before);
}

// Every length around the lane count and the chunk sizes, so the vector body and the scalar tail
// are both exercised, at offsets that leave the vectors unaligned.
TEST(SimdKernelTest, DotMatchesItsDocumentedOrderOnBothPaths) {
  const std::vector<double> x = spreadValues(80, 1), y = spreadValues(80, 2);
  for (Path path : {Path::kBaseline, Path::kAvx2}) {
    ScopedPath p(path);
    if (!p.ok()) continue;
    for (std::int32_t offset = 0; offset < 3; ++offset)
      for (std::int32_t len = 0; len <= 41; ++len) {
        double s[4] = {0.0, 0.0, 0.0, 0.0};
        std::int32_t k = 0;
        for (; k + 4 <= len; k += 4)
          for (int l = 0; l < 4; ++l) {
            const double product = x[offset + k + l] * y[offset + k + l];
            s[l] = s[l] + product;
          }
        for (; k < len; ++k) {
          const double product = x[offset + k] * y[offset + k];
          s[0] = s[0] + product;
        }
        const double expected = (s[0] + s[1]) + (s[2] + s[3]);
        const double got = simd::dot(x.data() + offset, y.data() + offset, len);
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << "length " << len << " offset " << offset;
      }
  }
}

TEST(SimdKernelTest, AxpyAndRotateRoundEveryOperationOnBothPaths) {
  const std::vector<double> x0 = spreadValues(45, 3), y0 = spreadValues(45, 4);
  const double a = 0.1, c = std::cos(0.3), s = std::sin(0.3);
  for (Path path : {Path::kBaseline, Path::kAvx2}) {
    ScopedPath p(path);
    if (!p.ok()) continue;
    for (std::int32_t len : {0, 1, 3, 4, 5, 8, 15, 16, 17, 45}) {
      std::vector<double> y = y0, expectedY = y0;
      simd::axpy(y.data(), a, x0.data(), len);
      for (std::int32_t k = 0; k < len; ++k) {
        const double product = a * x0[k];
        expectedY[k] = expectedY[k] + product;
      }
      EXPECT_TRUE(sameBytes(y, expectedY)) << "axpy length " << len;

      std::vector<double> rx = x0, ry = y0, ex = x0, ey = y0;
      simd::rotate(rx.data(), ry.data(), len, c, s);
      for (std::int32_t k = 0; k < len; ++k) {
        const double xc = x0[k] * c, ys = y0[k] * s, yc = y0[k] * c, xs = x0[k] * s;
        ex[k] = xc + ys;
        ey[k] = yc - xs;
      }
      EXPECT_TRUE(sameBytes(rx, ex) && sameBytes(ry, ey)) << "rotate length " << len;
    }
  }
}

// Each covariance is Σ over the rows in row order of the centred products, divided by n − 1.
TEST(SimdMatrixTest, CovarianceIsTheRowOrderSumOnBothPaths) {
  const RealMatrix m = randomMatrix(57, 9, 5);
  const RealMatrix mean = ColMean(m);
  RealMatrix expected(9, 9);
  for (std::int32_t i = 0; i < 9; ++i)
    for (std::int32_t j = 0; j < 9; ++j) {
      double sum = 0.0;
      for (std::int32_t k = 0; k < 57; ++k) {
        const double product = (m(k, i) - mean(0, i)) * (m(k, j) - mean(0, j));
        sum = sum + product;
      }
      expected(i, j) = sum / 56.0;
    }
  for (Path path : {Path::kBaseline, Path::kAvx2}) {
    ScopedPath p(path);
    if (!p.ok()) continue;
    EXPECT_TRUE(sameBytes(Cov(m), expected)) << "path " << static_cast<int>(path);
  }
}

TEST(SimdMatrixTest, SingularValueDecompositionIsIdenticalOnBothPaths) {
  // Tall and square, wider than one chunk of lanes, with an odd width for the scalar tails.
  for (auto [rows, cols] : {std::pair{40, 13}, std::pair{23, 23}, std::pair{300, 6}}) {
    const RealMatrix m = randomMatrix(rows, cols, 7u + static_cast<unsigned>(rows));
    expectSameOnBothPaths([&] {
      SvdDecomposition svd(rows, cols, true);
      EXPECT_TRUE(svd.ready());
      std::memcpy(svd.a(), m.data(), static_cast<std::size_t>(m.Size()) * sizeof(double));
      svd.decompose();
      std::vector<double> out(svd.u(), svd.u() + static_cast<std::size_t>(rows) * cols);
      out.insert(out.end(), svd.w(), svd.w() + cols);
      out.insert(out.end(), svd.v(), svd.v() + static_cast<std::size_t>(cols) * cols);
      return out;
    });
  }
}

TEST(SimdMatrixTest, PrincipalComponentsAreIdenticalOnBothPaths) {
  const RealMatrix m = randomMatrix(500, 11, 9);
  expectSameOnBothPaths([&] {
    RealMatrix values, vectors, projections;
    PrincipalComponents(values, vectors, projections, m, true);
    std::vector<double> out(values.data(), values.data() + values.Size());
    out.insert(out.end(), vectors.data(), vectors.data() + vectors.Size());
    out.insert(out.end(), projections.data(), projections.data() + projections.Size());
    return out;
  });
}

TEST(SimdMatrixTest, LeastSquaresSolutionIsIdenticalOnBothPaths) {
  const RealMatrix a = randomMatrix(60, 7, 11), y = randomMatrix(60, 2, 12);
  expectSameOnBothPaths([&] {
    const RealMatrix x = SolveSVD(a, y, 1e-12);
    return std::vector<double>(x.data(), x.data() + x.Size());
  });
}

}  // namespace
