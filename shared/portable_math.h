#pragma once

#include <bit>
#include <cstdint>
#include <limits>

// Elementary functions built from additions, multiplications and bit operations alone, in one
// fixed order, so they give the same bits on every x86-64 processor. The C library picks its
// exp, log, log2, pow and tanh by processor (a fused multiply-add build where the processor has
// FMA), and those builds differ from the plain ones in the last bit of some results; a value
// computed with them and then stored or shown would depend on the machine. Use these wherever a
// result is stored, shown or written to a sheet.
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

namespace detail {

// e^r − 1 for |r| ≤ ln 2 / 2 (the reduced argument of exp), without the cancellation of
// subtracting 1 from e^r.
inline double expm1Reduced(double r) {
  double q = kExpSeries[kExpSeriesLast];
  for (int k = kExpSeriesLast - 1; k >= 0; --k) q = kExpSeries[k] + r * q;
  return r + (r * r) * q;
}

// The polynomial of log(1 + f) = 2s + 2s³/3 + … in s = f / (2 + f), for √½ ≤ 1 + f < √2
// (the classic minimax coefficients, error below 2^−58.45).
inline constexpr double kLg1 = 6.666666666666735130e-01;
inline constexpr double kLg2 = 3.999999999940941908e-01;
inline constexpr double kLg3 = 2.857142874366239149e-01;
inline constexpr double kLg4 = 2.222219843214978396e-01;
inline constexpr double kLg5 = 1.818357216161805012e-01;
inline constexpr double kLg6 = 1.531383769920937332e-01;
inline constexpr double kLg7 = 1.479819860511658591e-01;
inline constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 33 significant bits: k·kLn2Hi exact
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;

// A positive finite x split as 2^k · (1 + f) with √½ ≤ 1 + f < √2.
struct LogParts {
  int k;
  double f;
  std::uint32_t highMantissa;  // the top 20 mantissa bits of 1 + f, which pick the formula
};
inline LogParts splitForLog(double x) {
  int k = 0;
  std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  if ((bits >> 52) == 0) {  // subnormal: scale into the normal range first
    x *= 0x1p54;
    k -= 54;
    bits = std::bit_cast<std::uint64_t>(x);
  }
  auto hx = static_cast<std::uint32_t>(bits >> 32);
  k += static_cast<int>(hx >> 20) - 1023;
  hx &= 0x000fffffu;
  // Mantissas above √2 are halved (and k raised) so that 1 + f lies in [√½, √2).
  const std::uint32_t i = (hx + 0x95f64u) & 0x100000u;
  const std::uint64_t normal =
      (static_cast<std::uint64_t>(hx | (i ^ 0x3ff00000u)) << 32) | (bits & 0xffffffffu);
  k += static_cast<int>(i >> 20);
  return LogParts{k, std::bit_cast<double>(normal) - 1.0, hx};
}

// The pieces of log(1 + f): s = f / (2 + f), the polynomial's value r and, where the formula
// with ½f² is the more accurate one (1 + f away from the ends of its interval), hfsq = ½f².
struct Log1pPieces {
  double s;
  double r;
  double hfsq;
  bool hfsqForm;
};
inline Log1pPieces log1pPieces(const LogParts& parts) {
  const double f = parts.f;
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double w = z * z;
  const double t1 = w * (kLg2 + w * (kLg4 + w * kLg6));
  const double t2 = z * (kLg1 + w * (kLg3 + w * (kLg5 + w * kLg7)));
  const auto hx = static_cast<std::int32_t>(parts.highMantissa);
  const bool hfsqForm = ((hx - 0x6147a) | (0x6b851 - hx)) > 0;
  return Log1pPieces{s, t2 + t1, hfsqForm ? 0.5 * f * f : 0.0, hfsqForm};
}

// log(1 + f) for the reduced mantissa.
inline double log1pReduced(const LogParts& parts) {
  const double f = parts.f;
  const Log1pPieces p = log1pPieces(parts);
  return p.hfsqForm ? f - (p.hfsq - p.s * (p.hfsq + p.r)) : f - p.s * (f - p.r);
}

}  // namespace detail

// e^x − 1 within two ulps, also for small x (where exp(x) − 1 would cancel); the two are just
// past ln 2 / 2, where 2·(e^r − 1) + 1 loses a bit.
inline double expm1(double x) {
  if (x != x) return x;
  if (x > 0x1.62e42fefa39efp+9) return std::numeric_limits<double>::infinity();
  if (x < -40.0) return -1.0;  // e^−40 is below half an ulp of 1
  if (x > -0x1p-54 && x < 0x1p-54) return x;
  constexpr double kInverseLn2 = 0x1.71547652b82fep+0;
  constexpr double kLn2Hi = 0x1.62e42fee00000p-1;
  constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
  constexpr double kShifter = 0x1.8p52;
  const double n = (x * kInverseLn2 + kShifter) - kShifter;
  if (n == 0.0) return detail::expm1Reduced(x);
  if (n > 56.0) return exp(x) - 1.0;  // 1 is below half an ulp of e^x
  const double r = (x - n * kLn2Hi) - n * kLn2Lo;
  // e^x − 1 = 2^n·(e^r − 1) + (2^n − 1); both terms exact but for one rounding each.
  const double scale = detail::twoToThe(static_cast<int>(n));
  return scale * detail::expm1Reduced(r) + (scale - 1.0);
}

// tanh x within two ulps, from e^(∓2|x|) − 1 with the sign of x: ±1 beyond 22 (where the exact
// value rounds to ±1), x itself for |x| below 2^−28, NaN stays NaN, −0 stays −0.
inline double tanh(double x) {
  if (x != x) return x;
  const double a = x < 0.0 ? -x : x;
  if (a < 0x1p-28) return x;
  double t;
  if (a > 22.0) {
    t = 1.0;
  } else if (a >= 1.0) {
    t = 1.0 - 2.0 / (expm1(2.0 * a) + 2.0);
  } else {
    const double e = expm1(-2.0 * a);
    t = -e / (e + 2.0);
  }
  return x < 0.0 ? -t : t;
}

// Natural logarithm within about one ulp: log 1 = 0 exactly, −∞ at ±0, NaN below 0, +∞ stays.
inline double log(double x) {
  if (x != x) return x;
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  if (x < 0.0) return std::numeric_limits<double>::quiet_NaN();
  if (x == std::numeric_limits<double>::infinity()) return x;
  const detail::LogParts parts = detail::splitForLog(x);
  if (parts.k == 0) return detail::log1pReduced(parts);
  const double dk = parts.k;
  const double f = parts.f;
  if (f == 0.0) return dk * detail::kLn2Hi + dk * detail::kLn2Lo;
  // k·ln 2 + log(1 + f), summed from the small end so the low part of ln 2 is kept.
  const detail::Log1pPieces p = detail::log1pPieces(parts);
  if (p.hfsqForm) return dk * detail::kLn2Hi - ((p.hfsq - (p.s * (p.hfsq + p.r) + dk * detail::kLn2Lo)) - f);
  return dk * detail::kLn2Hi - ((p.s * (f - p.r) - dk * detail::kLn2Lo) - f);
}

// Base-2 logarithm: exactly k for x = 2^k, k + log(1 + f)/ln 2 otherwise.
inline double log2(double x) {
  if (x != x) return x;
  if (x == 0.0) return -std::numeric_limits<double>::infinity();
  if (x < 0.0) return std::numeric_limits<double>::quiet_NaN();
  if (x == std::numeric_limits<double>::infinity()) return x;
  constexpr double kInverseLn2 = 0x1.71547652b82fep+0;
  const detail::LogParts parts = detail::splitForLog(x);
  if (parts.f == 0.0) return parts.k;
  return parts.k + detail::log1pReduced(parts) * kInverseLn2;
}

// Base-10 logarithm; exact integers at the powers of ten a double holds exactly.
inline double log10(double x) {
  constexpr double kInverseLn10 = 0x1.bcb7b1526e50ep-2;
  const double y = log(x) * kInverseLn10;
  if (!(y > -23.5 && y < 23.5)) return y;
  const double n = static_cast<double>(static_cast<long long>(y + (y < 0 ? -0.5 : 0.5)));
  if (n >= 0 && n <= 22) {
    double p = 1.0;
    for (int i = 0; i < n; ++i) p *= 10.0;  // exact up to 10^22
    if (p == x) return n;
  }
  return y;
}

// a^b. Integer exponents up to 2^31 in magnitude by repeated squaring (exact wherever the
// result and the squares are, 10^n for n ≤ 22 among them); other exponents as e^(b·log a).
// The special values as in C: a^0 = 1 and 1^b = 1 even for NaN, a negative base with a
// non-integer exponent is NaN, 0 to a negative power is +∞.
inline double pow(double a, double b) {
  if (b == 0.0 || a == 1.0) return 1.0;
  if (a != a || b != b) return a + b;
  const double inf = std::numeric_limits<double>::infinity();
  const bool integer = b >= -0x1p31 && b <= 0x1p31 && static_cast<double>(static_cast<long long>(b)) == b;
  if (integer) {
    long long n = static_cast<long long>(b);
    const bool negative = n < 0;
    if (negative) n = -n;
    const auto power = [](double base, long long k) {
      double result = 1.0;
      while (true) {
        if (k & 1) result *= base;
        k >>= 1;
        if (k == 0) return result;
        base *= base;
      }
    };
    const double result = power(a, n);
    if (!negative) return result;
    // Where a^|b| overflows, the reciprocal power may still be a (subnormal) number.
    return result == inf || result == -inf ? power(1.0 / a, n) : 1.0 / result;
  }
  if (a < 0.0) return a == -inf ? (b < 0.0 ? 0.0 : inf) : std::numeric_limits<double>::quiet_NaN();
  if (a == 0.0) return b < 0.0 ? inf : 0.0;
  if (a == inf) return b < 0.0 ? 0.0 : inf;
  return exp(b * log(a));
}

}  // namespace portable_math
