#include "kohonen/engine/som_kernels.h"

#include <cstring>
#include <limits>

// SOM_KERNELS_BASELINE_ONLY builds the baseline alone (to test it on an AVX2 machine).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && \
    !defined(SOM_KERNELS_BASELINE_ONLY) && !defined(LUMIVANE_NO_FUNCTION_CLONES)
// AVX2 without FMA: wider registers, the baseline's roundings.
#define SOM_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define SOM_VECTOR_CLONES
#endif

// The helpers below are always inlined, so their vector values never cross a call between code
// built for different instruction sets (which would disagree on how 32-byte vectors are
// passed); the ABI note about that does not apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace som_kernels {
namespace {

// Four doubles as one value (GCC/Clang vector extension): one AVX register or two SSE2
// registers, with the element-wise roundings of scalar code.
typedef double Double4 __attribute__((vector_size(32)));

// Cells whose distance sums stay in registers across all components.
constexpr std::int32_t kMeasureBlock = 16;
// Cells moved and measured together (fewer, as their kernel values occupy registers too).
constexpr std::int32_t kPullBlock = 8;

[[gnu::always_inline]] inline Double4 load4(const double* p) {
  Double4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void store4(double* p, const Double4& v) {
  std::memcpy(p, &v, sizeof v);
}

// Lane-wise smaller of s and m; a lane of s that is not a number leaves m as it was.
[[gnu::always_inline]] inline Double4 lowerOf(const Double4& s, const Double4& m) {
  return s < m ? s : m;
}

[[gnu::always_inline]] inline double smallestLane(const Double4& m) {
  const double a = m[0] < m[1] ? m[0] : m[1];
  const double b = m[2] < m[3] ? m[2] : m[3];
  return a < b ? a : b;
}

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

SOM_VECTOR_CLONES
double squaredDistances(const double* planes, std::int64_t stride, std::int32_t dimension, const double* x,
                        std::int32_t begin, std::int32_t end, double* acc) {
  Double4 lowest = {kInfinity, kInfinity, kInfinity, kInfinity};
  std::int32_t first = begin;
  for (; first + kMeasureBlock <= end; first += kMeasureBlock) {
    Double4 s0 = {}, s1 = {}, s2 = {}, s3 = {};
    const double* p = planes + first;
    for (std::int32_t k = 0; k < dimension; ++k, p += stride) {
      const double xk = x[k];
      const Double4 d0 = load4(p) - xk, d1 = load4(p + 4) - xk, d2 = load4(p + 8) - xk,
                    d3 = load4(p + 12) - xk;
      s0 += d0 * d0;
      s1 += d1 * d1;
      s2 += d2 * d2;
      s3 += d3 * d3;
    }
    store4(acc + first, s0);
    store4(acc + first + 4, s1);
    store4(acc + first + 8, s2);
    store4(acc + first + 12, s3);
    lowest = lowerOf(s3, lowerOf(s2, lowerOf(s1, lowerOf(s0, lowest))));
  }
  double smallest = smallestLane(lowest);
  for (std::int32_t i = first; i < end; ++i) {
    double s = 0.0;
    for (std::int32_t k = 0; k < dimension; ++k) {
      const double d = planes[k * stride + i] - x[k];
      s += d * d;
    }
    acc[i] = s;
    smallest = s < smallest ? s : smallest;
  }
  return smallest;
}

SOM_VECTOR_CLONES
double pullAndMeasure(double* planes, std::int64_t stride, std::int32_t dimension, const double* x,
                      const double* h, double delta, const double* next, std::int32_t begin, std::int32_t end,
                      double* acc) {
  Double4 lowest = {kInfinity, kInfinity, kInfinity, kInfinity};
  std::int32_t first = begin;
  for (; first + kPullBlock <= end; first += kPullBlock) {
    const Double4 h0 = load4(h + (first - begin)), h1 = load4(h + (first - begin) + 4);
    // Cells whose kernel value is 0 keep their weights exactly (even where x − w is not finite).
    const auto keep0 = h0 == 0.0, keep1 = h1 == 0.0;
    Double4 s0 = {}, s1 = {};
    double* p = planes + first;
    for (std::int32_t k = 0; k < dimension; ++k, p += stride) {
      const double xk = x[k];
      const double nk = next[k];
      Double4 w0 = load4(p), w1 = load4(p + 4);
      w0 = keep0 ? w0 : w0 + delta * (h0 * (xk - w0));
      w1 = keep1 ? w1 : w1 + delta * (h1 * (xk - w1));
      store4(p, w0);
      store4(p + 4, w1);
      const Double4 d0 = w0 - nk, d1 = w1 - nk;
      s0 += d0 * d0;
      s1 += d1 * d1;
    }
    store4(acc + first, s0);
    store4(acc + first + 4, s1);
    lowest = lowerOf(s1, lowerOf(s0, lowest));
  }
  double smallest = smallestLane(lowest);
  for (std::int32_t i = first; i < end; ++i) {
    const double hi = h[i - begin];
    double s = 0.0;
    for (std::int32_t k = 0; k < dimension; ++k) {
      double& w = planes[k * stride + i];
      if (hi != 0.0) w += delta * (hi * (x[k] - w));
      const double d = w - next[k];
      s += d * d;
    }
    acc[i] = s;
    smallest = s < smallest ? s : smallest;
  }
  return smallest;
}

}  // namespace som_kernels
