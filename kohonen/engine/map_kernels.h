#pragma once

// The vector kernels of map training, on weights stored as component planes (component k of
// cell i at planes[k·stride + i]). The vectors run across the cells; every cell's sum over the
// components runs in component order, as the distance formula is written, so the lane count
// changes nothing in the results: a cell's value is computed by the same operations in the same
// order whether it sits in a lane of a wide vector, of a narrow one or in the scalar tail.
//
// Three builds of every kernel, chosen at run time (shared/simd_wide.h): the x86-64 baseline and
// AVX2 with four doubles per vector, and AVX-512 with eight.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "shared/simd.h"
#include "shared/simd_wide.h"

#if LUMIVANE_SIMD_AVX512
#include <immintrin.h>
#endif

namespace map_kernels {

using simd_wide::ScopedNarrow;

namespace detail {

// Four lanes: the baseline and the AVX2 build (GCC's vector operations, as in shared/simd.h).
namespace narrow {

using V = simd::Double4;

LUMIVANE_SIMD_INLINE V load(const double* p) {
  return simd::load4(p);
}
LUMIVANE_SIMD_INLINE void store(double* p, const V& v) {
  simd::store4(p, v);
}
// Lane-wise smaller of s and m; a lane of s that is not a number leaves m as it was.
LUMIVANE_SIMD_INLINE V lowerOf(const V& s, const V& m) {
  return s < m ? s : m;
}
LUMIVANE_SIMD_INLINE V zeroLanesKeep(const V& h, const V& w, const V& moved) {
  return h == 0.0 ? w : moved;
}
LUMIVANE_SIMD_INLINE bool anyZero(const V& h) {
  const simd::Bits4 zero = h == 0.0;
  return (zero[0] | zero[1] | zero[2] | zero[3]) != 0;
}
LUMIVANE_SIMD_INLINE bool anyAtMost(const V& a, double limit) {
  const simd::Bits4 atMost = a <= limit;
  return (atMost[0] | atMost[1] | atMost[2] | atMost[3]) != 0;
}

#include "kohonen/engine/map_kernels_body.inc"

}  // namespace narrow

#if LUMIVANE_SIMD_AVX512
// Eight lanes: AVX-512. GCC 12 turns comparisons of 64-byte vectors into scalar code, so the
// lane-wise helpers use the mask intrinsics; the arithmetic stays in vector operations. Every
// function of the region is built for AVX-512 (F and DQ) and runs only where the processor has
// it.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq")
namespace wide {

using V = simd_wide::Double8;

LUMIVANE_SIMD_INLINE V load(const double* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
LUMIVANE_SIMD_INLINE void store(double* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}
LUMIVANE_SIMD_INLINE V lowerOf(const V& s, const V& m) {
  const __mmask8 smaller = _mm512_cmp_pd_mask((__m512d)s, (__m512d)m, _CMP_LT_OQ);
  return (V)_mm512_mask_blend_pd(smaller, (__m512d)m, (__m512d)s);
}
LUMIVANE_SIMD_INLINE V zeroLanesKeep(const V& h, const V& w, const V& moved) {
  const __mmask8 zero = _mm512_cmp_pd_mask((__m512d)h, _mm512_setzero_pd(), _CMP_EQ_OQ);
  return (V)_mm512_mask_blend_pd(zero, (__m512d)moved, (__m512d)w);
}
LUMIVANE_SIMD_INLINE bool anyZero(const V& h) {
  return _mm512_cmp_pd_mask((__m512d)h, _mm512_setzero_pd(), _CMP_EQ_OQ) != 0;
}
LUMIVANE_SIMD_INLINE bool anyAtMost(const V& a, double limit) {
  return _mm512_cmp_pd_mask((__m512d)a, _mm512_set1_pd(limit), _CMP_LE_OQ) != 0;
}

#include "kohonen/engine/map_kernels_body.inc"

}  // namespace wide
#pragma GCC pop_options
#endif

// Sums held in registers: 16 cells at four lanes (as shared/simd.h always did), 32 at eight; the
// cells being moved also hold their kernel values, so they go in half as many at a time.
using NarrowMeasure = narrow::SquaredDistances<4>;
using NarrowPull = narrow::PullAndMeasure<2>;
using NarrowScan = narrow::FirstAtMost;
#if LUMIVANE_SIMD_AVX512
using WideMeasure = wide::SquaredDistances<4>;
using WidePull = wide::PullAndMeasure<2>;
using WideScan = wide::FirstAtMost;
#else
using WideMeasure = NarrowMeasure;
using WidePull = NarrowPull;
using WideScan = NarrowScan;
#endif

}  // namespace detail

// Both map kernels return the smallest sum they wrote, ignoring sums that are not a number
// (+infinity for an empty range or when none is a number).

// acc[i] := Σₖ (planes[k·stride + i] − x[k])² for begin ≤ i < end.
inline double squaredDistances(const double* planes, std::int64_t stride, std::int32_t dimension,
                               const double* x, std::int32_t begin, std::int32_t end, double* acc) {
  return simd_wide::run<detail::NarrowMeasure, detail::WideMeasure>(planes, stride, dimension, x, begin, end,
                                                                    acc);
}

// For begin ≤ i < end: every component of a cell with h[i − begin] ≠ 0 moves towards x,
// w ← w + delta·(h[i − begin]·(x[k] − w)) (cells with h = 0 keep their weights exactly), and
// then acc[i] := Σₖ (w − next[k])² with the moved weights (one sweep instead of two).
inline double pullAndMeasure(double* planes, std::int64_t stride, std::int32_t dimension, const double* x,
                             const double* h, double delta, const double* next, std::int32_t begin,
                             std::int32_t end, double* acc) {
  return simd_wide::run<detail::NarrowPull, detail::WidePull>(planes, stride, dimension, x, h, delta, next,
                                                              begin, end, acc);
}

// The first i in begin … end − 1 with acc[i] ≤ limit (a sum that is not a number never is), or
// end when there is none.
inline std::int32_t firstAtMost(const double* acc, std::int32_t begin, std::int32_t end, double limit) {
  return simd_wide::run<detail::NarrowScan, detail::WideScan>(acc, begin, end, limit);
}

}  // namespace map_kernels
