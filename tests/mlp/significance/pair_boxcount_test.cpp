#include "mlp/significance/pair_boxcount.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "shared/exceptions.h"
#include "significance_test_data.h"

namespace significance {
namespace {

using test::makeMatrix;

TEST(PairBoxcount, IdenticalSidesGainOneBitPerLevelUntilTheReliableLimit) {
  // B = 3·A − 1 for n = 4096 evenly spread values: each side is rescaled to [0, 1] by its own
  // extremes, so H_A = H_B = H_AB = L and I(L) = L; the reliable limit ½·log2 4096 = 6 bits
  // is reached at level 6.
  constexpr std::int32_t n = 4096;
  const RealMatrix a = makeMatrix(n, 1, [](std::int32_t i, std::int32_t) { return i / double(n - 1); });
  const RealMatrix b = makeMatrix(n, 1, [&](std::int32_t i, std::int32_t) { return 3.0 * a(i, 0) - 1.0; });
  const PairBoxcountResult r = PairBoxcount(a, b);
  for (std::int32_t level = 1; level <= 6; ++level) {
    EXPECT_NEAR(r.table[level][kMutualInformationColumn], level, 0.01) << level;
    EXPECT_NEAR(r.table[level][kJointEntropyColumn], level, 0.01) << level;
  }
  EXPECT_EQ(r.reliable.a, 5);
  EXPECT_EQ(r.reliable.b, 5);
  EXPECT_EQ(r.reliable.joint, 5);
  // Bias term 1.75 · joint boxes / n, with 2^5 joint boxes at level 5.
  EXPECT_DOUBLE_EQ(r.table[5][kBiasColumn], 1.75 * 32 / n);
  EXPECT_EQ(r.table[0][kPairLevelColumn], 0.0);
  EXPECT_EQ(r.table[16][kPairLevelColumn], 16.0);
  EXPECT_EQ(r.table[0][kMutualInformationColumn], 0.0);
}

TEST(PairBoxcount, IndependentSidesShareAlmostNothingAfterTheBias) {
  constexpr std::int32_t n = 4096;
  const RealMatrix a = test::uniformMatrix(n, 1, 1);
  const RealMatrix b = test::uniformMatrix(n, 1, 2);
  const PairBoxcountResult r = PairBoxcount(a, b);
  for (std::int32_t level = 1; level <= r.reliable.joint; ++level) {
    const PairRow& row = r.table[level];
    EXPECT_LT(std::abs(row[kMutualInformationColumn] - 0.5 * row[kBiasColumn]), 0.02) << level;
  }
  EXPECT_GE(r.reliable.joint, 2);
  // At level 8 the joint boxes are sparse and the raw estimate is far from 0, which is what
  // the reliable-level rule protects against.
  EXPECT_GT(r.table[8][kMutualInformationColumn], 0.5);
}

TEST(PairBoxcount, ReliableCountStopsAtTheFirstLevelReachingHalfLog2N) {
  // n = 4, halves at level 1: H = 1 = ½·log2 4 is not below the threshold: count 0.
  const RealMatrix four = makeMatrix(4, 1, [](std::int32_t i, std::int32_t) { return i; });
  const PairBoxcountResult r4 = PairBoxcount(four, four);
  EXPECT_EQ(r4.reliable.a, 0);
  EXPECT_EQ(r4.reliable.joint, 0);
  EXPECT_TRUE(r4.reliable.anyZero());
  // n = 5: 0, 1, 2 low and 3, 4 high (0.97 bits) stays below ½·log2 5 = 1.16 at level 1 only.
  const RealMatrix five = makeMatrix(5, 1, [](std::int32_t i, std::int32_t) { return i; });
  const PairBoxcountResult r5 = PairBoxcount(five, five);
  EXPECT_EQ(r5.reliable.a, 1);
  EXPECT_EQ(r5.reliable.b, 1);
  EXPECT_EQ(r5.reliable.joint, 1);
  EXPECT_FALSE(r5.reliable.anyZero());
}

TEST(PairBoxcount, FewDistinctPointsAreReliableAtEveryLevel) {
  // Four distinct rows repeated 256 times: at most 2 bits, below ½·log2 1024 = 5 everywhere.
  const RealMatrix a = makeMatrix(1024, 1, [](std::int32_t i, std::int32_t) { return i % 4; });
  const RealMatrix b = makeMatrix(1024, 1, [](std::int32_t i, std::int32_t) { return (i / 4) % 2; });
  const PairBoxcountResult r = PairBoxcount(a, b);
  EXPECT_EQ(r.reliable.a, 16);
  EXPECT_EQ(r.reliable.b, 16);
  EXPECT_EQ(r.reliable.joint, 16);
  EXPECT_NEAR(r.table[16][kJointEntropyColumn], 3.0, 1e-12);
}

TEST(PairBoxcount, ConstantSideIsOneBoxInsteadOfADivisionByZero) {
  // The residual of an exact fit: every element equal.
  const RealMatrix a = test::uniformMatrix(500, 2, 3);
  const RealMatrix e = makeMatrix(500, 1, [](std::int32_t, std::int32_t) { return 1e-17; });
  const PairBoxcountResult r = PairBoxcount(a, e);
  for (std::int32_t level = 0; level <= 16; ++level) {
    const PairRow& row = r.table[level];
    for (double v : row) EXPECT_TRUE(std::isfinite(v)) << level;
    EXPECT_EQ(row[kEntropyBColumn], 0.0);
    EXPECT_NEAR(row[kJointEntropyColumn], row[kEntropyAColumn], 1e-12);
    EXPECT_NEAR(row[kMutualInformationColumn], 0.0, 1e-12);
  }
  EXPECT_EQ(r.reliable.b, 16);
}

TEST(PairBoxcount, RowCountsMustAgree) {
  const RealMatrix a = test::uniformMatrix(10, 1, 1);
  const RealMatrix b = test::uniformMatrix(11, 1, 2);
  EXPECT_THROW(PairBoxcount(a, b), IllegalMatrixSizeException);
}

}  // namespace
}  // namespace significance
