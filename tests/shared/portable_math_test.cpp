// The processor-independent exp: close to the C library's everywhere, exact at the special
// values, monotone across the points where its range reduction switches, and its bits pinned.

#include "shared/portable_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <tuple>

namespace {

std::int64_t orderedBits(double v) {
  std::int64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b < 0 ? std::numeric_limits<std::int64_t>::min() - b : b;
}

std::int64_t ulpDistance(double a, double b) {
  const std::int64_t x = orderedBits(a), y = orderedBits(b);
  return x > y ? x - y : y - x;
}

TEST(PortableExpTest, WithinOneUlpOfTheLibraryOverTheWholeRange) {
  // From the subnormal results to the largest finite one, with the map kernel's range densest.
  std::int64_t worst = 0;
  double worstAt = 0.0;
  for (auto [lo, hi, steps] : {std::tuple{-745.1, 709.78, 400000}, std::tuple{-50.0, 0.0, 400000}}) {
    for (int i = 0; i <= steps; ++i) {
      const double x = lo + (hi - lo) * i / steps;
      const std::int64_t d = ulpDistance(portable_math::exp(x), std::exp(x));
      if (d > worst) worst = d, worstAt = x;
    }
  }
  EXPECT_LE(worst, 1) << "at " << worstAt;
}

TEST(PortableExpTest, SpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(portable_math::exp(0.0), 1.0);
  EXPECT_EQ(portable_math::exp(-0.0), 1.0);
  EXPECT_EQ(portable_math::exp(1e-300), 1.0);
  EXPECT_EQ(portable_math::exp(-inf), 0.0);
  EXPECT_EQ(portable_math::exp(inf), inf);
  EXPECT_TRUE(std::isnan(portable_math::exp(std::nan(""))));
  // The largest argument with a finite result, and the next double above it.
  const double lastFinite = 0x1.62e42fefa39efp+9;
  EXPECT_TRUE(std::isfinite(portable_math::exp(lastFinite)));
  EXPECT_GT(portable_math::exp(lastFinite), 0x1.fffp+1023);
  EXPECT_EQ(portable_math::exp(std::nextafter(lastFinite, inf)), inf);
  // Subnormal results and the underflow to 0.
  EXPECT_EQ(portable_math::exp(-745.13), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(portable_math::exp(-745.2), 0.0);
  EXPECT_GT(portable_math::exp(-720.0), 0.0);
  EXPECT_LT(portable_math::exp(-720.0), std::numeric_limits<double>::min());
}

// The reduction picks n = round(x / ln 2); on either side of each switch the result must not
// step backwards.
TEST(PortableExpTest, MonotoneWhereTheReductionSwitches) {
  for (int n = -1070; n <= 1020; n += 7) {
    double x = (n + 0.5) * 0x1.62e42fefa39efp-1;
    for (int k = 0; k < 40; ++k) x = std::nextafter(x, -1e300);
    double previous = portable_math::exp(x);
    for (int k = 0; k < 80; ++k) {
      x = std::nextafter(x, 1e300);
      const double y = portable_math::exp(x);
      ASSERT_GE(y, previous) << "at " << x;
      previous = y;
    }
  }
}

// Every build on every processor must produce exactly these bits: a change here (another
// algorithm, or a compiler that fuses or reorders the arithmetic) changes trained maps.
TEST(PortableExpTest, BitsArePinned) {
  std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a over the results
  for (int i = 0; i <= 100000; ++i) {
    const double y = portable_math::exp(-50.0 + 60.0 * i / 100000);
    std::uint64_t b;
    std::memcpy(&b, &y, sizeof b);
    hash = (hash ^ b) * 1099511628211ULL;
  }
  EXPECT_EQ(hash, 0x3bb577923808f18dULL);
}

}  // namespace
