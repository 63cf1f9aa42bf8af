#include "mlp/significance/box_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "significance_test_data.h"

namespace significance {
namespace {

using test::makeMatrix;

constexpr double kTight = 1e-12;

TEST(Quantise, LargestElementMapsTo65534AndSmallestTo0) {
  EXPECT_EQ(quantise(1.0, 0.0, 1.0), 65534);
  EXPECT_EQ(quantise(0.0, 0.0, 1.0), 0);
  EXPECT_EQ(quantise(7.5, -2.5, 7.5), 65534);
  EXPECT_EQ(quantise(1e300, -1e300, 1e300), 65534);
  // 0.25 · 0.999999999 · 65535 = 16383.7499… truncates toward zero.
  EXPECT_EQ(quantise(0.25, 0.0, 1.0), 16383);
  EXPECT_EQ(quantise(0.5, 0.0, 1.0), 32767);
}

TEST(Quantise, DegenerateRangeAndNotANumberGiveZero) {
  EXPECT_EQ(quantise(3.0, 3.0, 3.0), 0);
  EXPECT_EQ(quantise(std::nan(""), 0.0, 1.0), 0);
}

TEST(BoxStatistics, HandBuiltColumnCountsAndEntropiesPerLevel) {
  // Quantised: 0, 16383, 32767, 65534.
  static constexpr double kValues[4] = {0.0, 0.25, 0.5, 1.0};
  const RealMatrix m = makeMatrix(4, 1, [](std::int32_t i, std::int32_t) { return kValues[i]; });
  const RealMatrix s = BoxStatistics(m);
  ASSERT_EQ(s.Rows(), 17);
  ASSERT_EQ(s.Cols(), 5);
  // Level 0: one box, zeros.
  EXPECT_EQ(s(0, kBoxCountColumn), 1.0);
  EXPECT_EQ(s(0, kEntropyColumn), 0.0);
  EXPECT_EQ(s(0, kCollisionEntropyColumn), 0.0);
  // Level 1: {0, 16383, 32767} and {65534}.
  EXPECT_EQ(s(1, kBoxCountColumn), 2.0);
  EXPECT_NEAR(s(1, kLog2BoxCountColumn), 1.0, kTight);
  EXPECT_NEAR(s(1, kEntropyColumn), -(0.75 * std::log2(0.75) + 0.25 * std::log2(0.25)), kTight);
  EXPECT_NEAR(s(1, kCollisionEntropyColumn), -std::log2(10.0 / 16.0), kTight);
  // Level 2: {0, 16383}, {32767}, {65534}.
  EXPECT_EQ(s(2, kBoxCountColumn), 3.0);
  EXPECT_NEAR(s(2, kEntropyColumn), 1.5, kTight);
  EXPECT_NEAR(s(2, kCollisionEntropyColumn), -std::log2(6.0 / 16.0), kTight);
  // From level 3 on every point is alone.
  for (std::int32_t level = 3; level <= 16; ++level) {
    EXPECT_EQ(s(level, kLevelColumn), level);
    EXPECT_EQ(s(level, kBoxCountColumn), 4.0) << level;
    EXPECT_NEAR(s(level, kLog2BoxCountColumn), 2.0, kTight);
    EXPECT_NEAR(s(level, kEntropyColumn), 2.0, kTight);
    EXPECT_NEAR(s(level, kCollisionEntropyColumn), 2.0, kTight);
  }
}

TEST(BoxStatistics, EqualRowsShareEveryBox) {
  // Rows (0,0) twice, (1,1) and (0.2,0.9): at level 1 the boxes (0,0), (1,1), (0,1) with
  // 2, 1, 1 points, and the duplicates never separate.
  const double values[4][2] = {{0.0, 0.0}, {1.0, 1.0}, {0.0, 0.0}, {0.2, 0.9}};
  const RealMatrix m = makeMatrix(4, 2, [&](std::int32_t i, std::int32_t c) { return values[i][c]; });
  const RealMatrix s = BoxStatistics(m);
  for (std::int32_t level = 1; level <= 16; ++level) {
    EXPECT_EQ(s(level, kBoxCountColumn), 3.0) << level;
    EXPECT_NEAR(s(level, kEntropyColumn), 1.5, kTight) << level;
    EXPECT_NEAR(s(level, kCollisionEntropyColumn), -std::log2(6.0 / 16.0), kTight) << level;
  }
}

TEST(BoxStatistics, OneQuantisationRangeForAllColumns) {
  // The second column only reaches 0.5, which is in the lower half of the common range 0 … 1
  // (a range per column would put it in the upper half and give 3 boxes at level 1).
  const double values[4][2] = {{0.0, 0.0}, {1.0, 0.5}, {0.0, 0.0}, {0.2, 0.5}};
  const RealMatrix m = makeMatrix(4, 2, [&](std::int32_t i, std::int32_t c) { return values[i][c]; });
  const RealMatrix s = BoxStatistics(m);
  EXPECT_EQ(s(1, kBoxCountColumn), 2.0);  // {(0,0), (0,0), (0.2,0.5)} and {(1,0.5)}
  EXPECT_EQ(s(2, kBoxCountColumn), 3.0);  // 0.5 → 32767 leaves the quarter of 0
  EXPECT_NEAR(s(2, kEntropyColumn), 1.5, kTight);
}

TEST(BoxStatistics, ConstantMatrixIsOneBoxAtEveryLevel) {
  const RealMatrix m = makeMatrix(50, 3, [](std::int32_t, std::int32_t) { return 4.2; });
  const RealMatrix s = BoxStatistics(m);
  for (std::int32_t level = 0; level <= 16; ++level) {
    EXPECT_EQ(s(level, kBoxCountColumn), 1.0);
    EXPECT_EQ(s(level, kEntropyColumn), 0.0);
    EXPECT_EQ(s(level, kCollisionEntropyColumn), 0.0);
    EXPECT_FALSE(std::signbit(s(level, kEntropyColumn)));
  }
}

TEST(BoxStatistics, SingleRowIsOneBox) {
  const RealMatrix s = BoxStatistics(makeMatrix(1, 2, [](std::int32_t, std::int32_t c) { return c; }));
  EXPECT_EQ(s(16, kBoxCountColumn), 1.0);
  EXPECT_EQ(s(16, kEntropyColumn), 0.0);
}

// Second method: count boxes with a map keyed by each coordinate's top L bits.
struct Reference {
  double boxes, entropy, collision;
};
Reference referenceLevel(const RealMatrix& m, std::int32_t level) {
  const double lo = Min(m), hi = Max(m);
  std::map<std::vector<std::uint32_t>, std::int32_t> counts;
  for (std::int32_t i = 0; i < m.Rows(); ++i) {
    std::vector<std::uint32_t> key;
    for (std::int32_t c = 0; c < m.Cols(); ++c) {
      const auto q = static_cast<std::uint32_t>((m(i, c) - lo) * 0.999999999 / (hi - lo) * 65535.0);
      key.push_back(q >> (16 - level));
    }
    ++counts[key];
  }
  Reference r{static_cast<double>(counts.size()), 0.0, 0.0};
  double s2 = 0.0;
  for (const auto& [key, c] : counts) {
    const double p = static_cast<double>(c) / m.Rows();
    r.entropy -= p * std::log2(p);
    s2 += p * p;
  }
  r.collision = -std::log2(s2);
  return r;
}

TEST(BoxStatistics, AgreesWithDirectBoxCountingForNarrowAndWideData) {
  std::mt19937 engine(7);
  // Every way of building codes: bit tricks (1, 2), one wide integer (3 … 8), a bit stream
  // (9 … 32) and bit-by-bit deposit (33).
  for (std::int32_t dims : {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 17, 32, 33}) {
    // Coarse values so that some rows coincide and boxes hold several points.
    std::uniform_int_distribution<int> coarse(0, 40);
    std::uniform_real_distribution<double> fine(0.0, 1.0);
    const RealMatrix m = makeMatrix(700, dims, [&](std::int32_t i, std::int32_t) {
      return i % 3 == 0 ? coarse(engine) / 40.0 : fine(engine);
    });
    const RealMatrix s = BoxStatistics(m);
    for (std::int32_t level = 1; level <= 16; ++level) {
      const Reference r = referenceLevel(m, level);
      EXPECT_EQ(s(level, kBoxCountColumn), r.boxes) << dims << " dims, level " << level;
      EXPECT_NEAR(s(level, kEntropyColumn), r.entropy, 1e-9) << dims << " dims, level " << level;
      EXPECT_NEAR(s(level, kCollisionEntropyColumn), r.collision, 1e-9) << dims << " dims, level " << level;
      EXPECT_NEAR(s(level, kLog2BoxCountColumn), std::log2(r.boxes), kTight);
    }
  }
}

TEST(BoxStatistics, RowOrderDoesNotMatter) {
  const RealMatrix m = test::uniformMatrix(300, 3, 11);
  const RealMatrix reversed =
      makeMatrix(300, 3, [&](std::int32_t i, std::int32_t c) { return m(299 - i, c); });
  const RealMatrix a = BoxStatistics(m);
  const RealMatrix b = BoxStatistics(reversed);
  for (std::int32_t level = 0; level <= 16; ++level) {
    for (std::int32_t c = 0; c < kBoxStatisticsColumns; ++c) EXPECT_EQ(a(level, c), b(level, c));
  }
}

}  // namespace
}  // namespace significance
