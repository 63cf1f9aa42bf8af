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

// The other functions against long double, whose 64-bit mantissa rounds to the exact double in
// all but a few hard cases: over ranges that cover what the normaliser, the boxcounting and the
// formulas feed them, none is more than one unit off the correctly rounded value
// (tanh and expm1 two).
template <class Portable, class Reference>
std::pair<std::int64_t, double> worstUlps(Portable portable, Reference reference, double lo, double hi,
                                          int steps, bool geometric) {
  std::int64_t worst = 0;
  double worstAt = 0.0;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    const double x = geometric ? lo * std::pow(hi / lo, t) : lo + (hi - lo) * t;
    const auto exact = static_cast<double>(reference(static_cast<long double>(x)));
    const std::int64_t d = ulpDistance(portable(x), exact);
    if (d > worst) worst = d, worstAt = x;
  }
  return {worst, worstAt};
}

TEST(PortableFunctionsTest, WithinAnUlpOrTwoOfTheExactValue) {
  struct Case {
    const char* name;
    double (*portable)(double);
    long double (*reference)(long double);
    double lo, hi;
    bool geometric;
    std::int64_t allowed = 1;
  };
  const Case cases[] = {
      {"tanh", portable_math::tanh, [](long double x) { return tanhl(x); }, -25.0, 25.0, false, 2},
      {"tanh small", portable_math::tanh, [](long double x) { return tanhl(x); }, 1e-12, 2.0, true, 2},
      {"expm1", portable_math::expm1, [](long double x) { return expm1l(x); }, -45.0, 700.0, false, 2},
      {"expm1 small", portable_math::expm1, [](long double x) { return expm1l(x); }, 1e-18, 1.0, true, 2},
      {"log", portable_math::log, [](long double x) { return logl(x); }, 1e-310, 1e308, true},
      {"log near 1", portable_math::log, [](long double x) { return logl(x); }, 0.5, 2.0, false},
      {"log2", portable_math::log2, [](long double x) { return log2l(x); }, 1e-300, 1e300, true},
      {"log2 of probabilities", portable_math::log2, [](long double x) { return log2l(x); }, 1e-9, 1.0, true},
      {"log10", portable_math::log10, [](long double x) { return log10l(x); }, 1e-300, 1e300, true},
  };
  for (const Case& c : cases) {
    const auto [worst, at] = worstUlps(c.portable, c.reference, c.lo, c.hi, 200000, c.geometric);
    EXPECT_LE(worst, c.allowed) << c.name << " at " << at;
  }
}

TEST(PortableFunctionsTest, ExactAtTheSpecialValues) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(portable_math::log(1.0), 0.0);
  EXPECT_EQ(portable_math::log(0.0), -inf);
  EXPECT_EQ(portable_math::log(inf), inf);
  EXPECT_TRUE(std::isnan(portable_math::log(-1.0)));
  EXPECT_TRUE(std::isnan(portable_math::log2(std::nan(""))));
  // Box counts and populations are often powers of two: their logarithms must be integers.
  for (int k = -1074; k <= 1023; ++k) ASSERT_EQ(portable_math::log2(std::ldexp(1.0, k)), k) << k;
  for (int n = 0; n <= 22; ++n) EXPECT_EQ(portable_math::log10(std::pow(10.0, n)), n) << n;
  EXPECT_EQ(portable_math::tanh(0.0), 0.0);
  EXPECT_TRUE(std::signbit(portable_math::tanh(-0.0)));
  EXPECT_EQ(portable_math::tanh(30.0), 1.0);
  EXPECT_EQ(portable_math::tanh(-inf), -1.0);
  EXPECT_TRUE(std::isnan(portable_math::tanh(std::nan(""))));
  EXPECT_EQ(portable_math::expm1(1e-300), 1e-300);
  EXPECT_EQ(portable_math::expm1(-inf), -1.0);
  // tanh is odd and stays below 1 in magnitude up to where it rounds to 1.
  for (double x = 0.001; x < 18.0; x *= 1.01) {
    ASSERT_EQ(portable_math::tanh(-x), -portable_math::tanh(x));
    ASSERT_LT(portable_math::tanh(x), 1.0) << x;
  }
}

TEST(PortableFunctionsTest, PowerIsExactForIntegerPowersAndCloseOtherwise) {
  for (int n = 0; n <= 22; ++n) EXPECT_EQ(portable_math::pow(10.0, n), std::pow(10.0, n)) << n;
  EXPECT_EQ(portable_math::pow(2.0, -1074), std::ldexp(1.0, -1074));
  EXPECT_EQ(portable_math::pow(-2.0, 3), -8.0);
  EXPECT_EQ(portable_math::pow(-2.0, 4), 16.0);
  EXPECT_EQ(portable_math::pow(0.0, -1), std::numeric_limits<double>::infinity());
  EXPECT_EQ(portable_math::pow(0.0, -0.5), std::numeric_limits<double>::infinity());
  EXPECT_EQ(portable_math::pow(std::nan(""), 0.0), 1.0);
  EXPECT_TRUE(std::isnan(portable_math::pow(-8.0, 1.0 / 3.0)));
  EXPECT_EQ(portable_math::pow(1e308, 2.0), std::numeric_limits<double>::infinity());
  for (double a : {0.3, 2.0, 7.5, 1234.5}) {
    for (double b : {0.5, -0.25, 1.5, 3.1}) {
      const double exact = static_cast<double>(powl(a, b));
      EXPECT_LE(ulpDistance(portable_math::pow(a, b), exact), 4) << a << "^" << b;
    }
  }
}
