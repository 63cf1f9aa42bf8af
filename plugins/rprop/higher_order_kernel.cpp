#include "plugins/rprop/higher_order_kernel.h"

#include <cmath>

#include "shared/simd.h"

namespace rprop_kernel {
namespace {

using simd::Double4;
using simd::kLanes;
using simd::load4;
using simd::store4;

// True when 1/d is a power of two that is itself a normal number, so v/d == v·(1/d) for every v.
bool exactReciprocal(double d) {
  int exponent = 0;
  return std::frexp(d, &exponent) == 0.5 && exponent < 1000;
}

LUMIVANE_SIMD_INLINE Double4 divide(const Double4& v, double d, double inverse, bool exact) {
  return exact ? v * inverse : v / d;
}

// Net inputs of the N·kLanes neurons from j0 for the E examples from e0. Each weight vector loaded
// serves all E examples; the E·N sums are independent chains.
template <int Order, int N, int E>
LUMIVANE_SIMD_INLINE void netInputExamples(const double* const* x, int e0, int n, const double* w, int width,
                                           int j0, const OrderDivisors& d, double* net) {
  const double* xe[E];
  for (int e = 0; e < E; ++e) xe[e] = x[e0 + e];
  // S1, from 0 in ascending order.
  Double4 s1[E][N];
  for (int e = 0; e < E; ++e)
    for (int v = 0; v < N; ++v) s1[e][v] = Double4{0.0, 0.0, 0.0, 0.0};
  const double* t = w + j0;
  for (int i = 0; i < n; ++i, t += width)
    for (int v = 0; v < N; ++v) {
      const Double4 wv = load4(t + v * kLanes);
      for (int e = 0; e < E; ++e) s1[e][v] += wv * xe[e][i];
    }
  // The bias is the term after the linear weights.
  Double4 linear[E][N];
  for (int e = 0; e < E; ++e)
    for (int v = 0; v < N; ++v) linear[e][v] = s1[e][v] + load4(t + v * kLanes);
  t += width;
  Double4 s2[E][N];
  for (int e = 0; e < E; ++e)
    for (int v = 0; v < N; ++v) s2[e][v] = Double4{0.0, 0.0, 0.0, 0.0};
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j, t += width)
      for (int v = 0; v < N; ++v) {
        const Double4 wv = load4(t + v * kLanes);
        for (int e = 0; e < E; ++e) s2[e][v] += (wv * xe[e][i]) * xe[e][j];
      }
  if constexpr (Order == 2) {
    for (int e = 0; e < E; ++e)
      for (int v = 0; v < N; ++v)
        store4(net + static_cast<long>(e0 + e) * width + j0 + v * kLanes,
               linear[e][v] + divide(s2[e][v], d.n, d.inverseN, d.exact));
  } else {
    Double4 s3[E][N];
    for (int e = 0; e < E; ++e)
      for (int v = 0; v < N; ++v) s3[e][v] = Double4{0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < n; ++i)
      for (int j = 0; j <= i; ++j)
        for (int k = 0; k <= j; ++k, t += width)
          for (int v = 0; v < N; ++v) {
            const Double4 wv = load4(t + v * kLanes);
            for (int e = 0; e < E; ++e) s3[e][v] += ((wv * xe[e][i]) * xe[e][j]) * xe[e][k];
          }
    for (int e = 0; e < E; ++e)
      for (int v = 0; v < N; ++v)
        store4(net + static_cast<long>(e0 + e) * width + j0 + v * kLanes,
               (divide(s3[e][v], d.squared, d.inverseSquared, d.exact) +
                divide(s2[e][v], d.n, d.inverseN, d.exact)) +
                   linear[e][v]);
  }
}

template <int Order, int N>
LUMIVANE_SIMD_INLINE void netInputChunk(const double* const* x, int rows, int n, const double* w, int width,
                                        int j0, const OrderDivisors& d, double* net) {
  int e = 0;
  for (; e + 2 <= rows; e += 2) netInputExamples<Order, N, 2>(x, e, n, w, width, j0, d, net);
  if (e < rows) netInputExamples<Order, N, 1>(x, e, n, w, width, j0, d, net);
}

template <int Order>
LUMIVANE_SIMD_INLINE void netInputs(const double* const* x, int rows, int n, const double* w, int width,
                                    const OrderDivisors& d, double* net) {
  // Two vectors of neurons and two examples at a time: eight chains of sums in flight.
  constexpr int kVectors = 2;
  int j = 0;
  for (; j + kVectors * kLanes <= width; j += kVectors * kLanes)
    netInputChunk<Order, kVectors>(x, rows, n, w, width, j, d, net);
  for (; j < width; j += kLanes) netInputChunk<Order, 1>(x, rows, n, w, width, j, d, net);
}

struct HigherOrderNetInputs {
  LUMIVANE_SIMD_INLINE static void run(const double* const* x, int rows, int n, int order, const double* w,
                                       int width, double* net) {
    const OrderDivisors d(n);
    if (order == 2)
      netInputs<2>(x, rows, n, w, width, d, net);
    else
      netInputs<3>(x, rows, n, w, width, d, net);
  }
};

// One example's terms added to the gradient of one vector of neurons; g points to its lanes of
// term 0, successive terms gradientWidth apart.
template <int Order>
LUMIVANE_SIMD_INLINE void addExample(const double* xe, const Double4& delta, int n, const OrderDivisors& d,
                                     double* g, int gradientWidth) {
  for (int i = 0; i < n; ++i, g += gradientWidth) store4(g, load4(g) + delta * xe[i]);
  store4(g, load4(g) + delta);
  g += gradientWidth;
  const Double4 c2 = divide(delta, d.n, d.inverseN, d.exact);
  for (int i = 0; i < n; ++i) {
    const Double4 cxi = c2 * xe[i];
    for (int j = 0; j <= i; ++j, g += gradientWidth) store4(g, load4(g) + cxi * xe[j]);
  }
  if constexpr (Order == 3) {
    const Double4 c3 = divide(delta, d.squared, d.inverseSquared, d.exact);
    for (int i = 0; i < n; ++i) {
      const Double4 cxi = c3 * xe[i];
      for (int j = 0; j <= i; ++j) {
        const Double4 cxij = cxi * xe[j];
        for (int k = 0; k <= j; ++k, g += gradientWidth) store4(g, load4(g) + cxij * xe[k]);
      }
    }
  }
}

template <int Order>
LUMIVANE_SIMD_INLINE void gradientLanes(const double* const* x, const double* delta, int rows, int n,
                                        int width, int j0, int lanes, const OrderDivisors& d,
                                        double* gradient, int gradientWidth) {
  // One vector of neurons over all examples before the next: its gradient stays in the cache.
  for (int v = 0; v < lanes; v += kLanes)
    for (int e = 0; e < rows; ++e)
      addExample<Order>(x[e], load4(delta + static_cast<long>(e) * width + j0 + v), n, d, gradient + v,
                        gradientWidth);
}

struct AccumulateHigherOrderGradient {
  LUMIVANE_SIMD_INLINE static void run(const double* const* x, const double* delta, int rows, int n,
                                       int order, int width, int j0, int lanes, double* gradient,
                                       int gradientWidth) {
    const OrderDivisors d(n);
    if (order == 2)
      gradientLanes<2>(x, delta, rows, n, width, j0, lanes, d, gradient, gradientWidth);
    else
      gradientLanes<3>(x, delta, rows, n, width, j0, lanes, d, gradient, gradientWidth);
  }
};

}  // namespace

OrderDivisors::OrderDivisors(int inputs)
    : n(inputs),
      squared(n * n),
      exact(exactReciprocal(n) && exactReciprocal(squared)),
      inverseN(1.0 / n),
      inverseSquared(1.0 / squared) {}

void higherOrderNetInputs(const double* const* x, int rows, int inputs, int order, const double* weights,
                          int width, double* net) {
  simd::run<HigherOrderNetInputs>(x, rows, inputs, order, weights, width, net);
}

void accumulateHigherOrderGradient(const double* const* x, const double* delta, int rows, int inputs,
                                   int order, int width, int j0, int lanes, double* gradient,
                                   int gradientWidth) {
  simd::run<AccumulateHigherOrderGradient>(x, delta, rows, inputs, order, width, j0, lanes, gradient,
                                           gradientWidth);
}

}  // namespace rprop_kernel
