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

// Adds term by term coefficient·x_k of E examples to the N vectors of gradient sums at g: each
// sum is loaded once, takes the examples in ascending order and is stored once.
template <int N, int E>
LUMIVANE_SIMD_INLINE void addTerms(double* g, const Double4 (&c)[E][N], const double* const (&xe)[E],
                                   int count, int gradientWidth) {
  for (int k = 0; k < count; ++k, g += gradientWidth) {
    double xk[E];
    for (int e = 0; e < E; ++e) xk[e] = xe[e][k];
    for (int v = 0; v < N; ++v) {
      Double4 sum = load4(g + v * kLanes);
      for (int e = 0; e < E; ++e) sum += c[e][v] * xk[e];
      store4(g + v * kLanes, sum);
    }
  }
}

// The terms of E examples from e0 added to the gradient of the N vectors of neurons at g (lanes of
// term 0; successive terms gradientWidth apart); delta points to example e0's signal of them.
template <int Order, int N, int E>
LUMIVANE_SIMD_INLINE void addExamples(const double* const* x, int e0, const double* delta, int width, int n,
                                      const OrderDivisors& d, double* g, int gradientWidth) {
  const double* xe[E];
  Double4 dv[E][N];
  for (int e = 0; e < E; ++e) {
    xe[e] = x[e0 + e];
    for (int v = 0; v < N; ++v) dv[e][v] = load4(delta + static_cast<long>(e0 + e) * width + v * kLanes);
  }
  // δ·x_i, then δ for the bias.
  addTerms<N, E>(g, dv, xe, n, gradientWidth);
  g += static_cast<long>(n) * gradientWidth;
  for (int v = 0; v < N; ++v) {
    Double4 sum = load4(g + v * kLanes);
    for (int e = 0; e < E; ++e) sum += dv[e][v];
    store4(g + v * kLanes, sum);
  }
  g += gradientWidth;
  // (δ/n·x_i)·x_j.
  Double4 c[E][N], ci[E][N];
  for (int e = 0; e < E; ++e)
    for (int v = 0; v < N; ++v) c[e][v] = divide(dv[e][v], d.n, d.inverseN, d.exact);
  for (int i = 0; i < n; ++i) {
    for (int e = 0; e < E; ++e)
      for (int v = 0; v < N; ++v) ci[e][v] = c[e][v] * xe[e][i];
    addTerms<N, E>(g, ci, xe, i + 1, gradientWidth);
    g += static_cast<long>(i + 1) * gradientWidth;
  }
  if constexpr (Order == 3) {
    // ((δ/n²·x_i)·x_j)·x_k.
    Double4 cij[E][N];
    for (int e = 0; e < E; ++e)
      for (int v = 0; v < N; ++v) c[e][v] = divide(dv[e][v], d.squared, d.inverseSquared, d.exact);
    for (int i = 0; i < n; ++i) {
      for (int e = 0; e < E; ++e)
        for (int v = 0; v < N; ++v) ci[e][v] = c[e][v] * xe[e][i];
      for (int j = 0; j <= i; ++j) {
        for (int e = 0; e < E; ++e)
          for (int v = 0; v < N; ++v) cij[e][v] = ci[e][v] * xe[e][j];
        addTerms<N, E>(g, cij, xe, j + 1, gradientWidth);
        g += static_cast<long>(j + 1) * gradientWidth;
      }
    }
  }
}

template <int Order, int N>
LUMIVANE_SIMD_INLINE void gradientVectors(const double* const* x, const double* delta, int rows, int width,
                                          int n, const OrderDivisors& d, double* g, int gradientWidth) {
  int e = 0;
  for (; e + 2 <= rows; e += 2) addExamples<Order, N, 2>(x, e, delta, width, n, d, g, gradientWidth);
  if (e < rows) addExamples<Order, N, 1>(x, e, delta, width, n, d, g, gradientWidth);
}

template <int Order>
LUMIVANE_SIMD_INLINE void gradientLanes(const double* const* x, const double* delta, int rows, int n,
                                        int width, int j0, int lanes, const OrderDivisors& d,
                                        double* gradient, int gradientWidth) {
  // Two vectors of neurons and two examples at a time: every x value loaded serves four products
  // and every sum loaded takes two examples.
  constexpr int kVectors = 2;
  int v = 0;
  for (; v + kVectors * kLanes <= lanes; v += kVectors * kLanes)
    gradientVectors<Order, kVectors>(x, delta + j0 + v, rows, width, n, d, gradient + v, gradientWidth);
  for (; v < lanes; v += kLanes)
    gradientVectors<Order, 1>(x, delta + j0 + v, rows, width, n, d, gradient + v, gradientWidth);
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
