#pragma once

#include <bit>
#include <cstdint>
#include <limits>

// Elementary functions built from additions, multiplications and bit operations alone, in one
// fixed order, so they give the same bits on every x86-64 processor. The C library picks its
// exp, log and tanh by processor (a fused multiply-add build where the processor has FMA), and
// those builds differ from the plain ones in the last bit of some results; a value computed with
// them and then stored or shown would depend on the machine.
namespace portable_math {

namespace detail {

// 1/k! for k = 2 … 13: the Taylor series of e^r − 1 − r, whose first omitted term is below
// 2^−57 on |r| ≤ ln 2 / 2.
inline constexpr double kExpSeries[] = {
    1.0 / 2,     1.0 / 6,      1.0 / 24,      1.0 / 120,      1.0 / 720,       1.0 / 5040,
    1.0 / 40320, 1.0 / 362880, 1.0 / 3628800, 1.0 / 39916800, 1.0 / 479001600, 1.0 / 6227020800,
};
inline constexpr int kExpSeriesLast = static_cast<int>(sizeof kExpSeries / sizeof kExpSeries[0]) - 1;

// 2^k as a double for −1022 ≤ k ≤ 1023.
inline double twoToThe(int k) {
  return std::bit_cast<double>(static_cast<std::uint64_t>(k + 1023) << 52);
}

}  // namespace detail

// e^x within about one unit in the last place of the exact value: e^0 = 1 exactly, +∞ for x
// above ln(DBL_MAX), results below DBL_MIN through the subnormals down to 0, e^−∞ = 0, NaN stays
// NaN.
inline double exp(double x) {
  if (x != x) return x;
  if (x > 0x1.62e42fefa39efp+9) return std::numeric_limits<double>::infinity();  // ln(DBL_MAX)
  if (x < -0x1.74910d52d3052p+9) return 0.0;  // below ln of half the smallest subnormal
  // e^x = 2^n · e^r with n = round(x / ln 2) and r = x − n·ln 2, |r| ≤ ln 2 / 2. ln 2 is split:
  // kLn2Hi keeps 32 significant bits, so n·kLn2Hi is exact for every |n| < 2^21.
  constexpr double kInverseLn2 = 0x1.71547652b82fep+0;
  constexpr double kLn2Hi = 0x1.62e42fee00000p-1;
  constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
  // Adding 1.5·2^52 rounds to an integer.
  constexpr double kShifter = 0x1.8p52;
  const double n = (x * kInverseLn2 + kShifter) - kShifter;
  const double r = (x - n * kLn2Hi) - n * kLn2Lo;
  double q = detail::kExpSeries[detail::kExpSeriesLast];
  for (int k = detail::kExpSeriesLast - 1; k >= 0; --k) q = detail::kExpSeries[k] + r * q;
  const double y = 1.0 + (r + (r * r) * q);  // e^r
  const int k = static_cast<int>(n);
  // Scaled in steps that are exact but for the last one, which rounds once.
  if (k > 1023) return y * detail::twoToThe(k - 1) * 2.0;
  if (k < -1022) return y * detail::twoToThe(k + 600) * detail::twoToThe(-600);
  return y * detail::twoToThe(k);
}

}  // namespace portable_math
