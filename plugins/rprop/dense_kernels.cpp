#include "plugins/rprop/dense_kernels.h"

#include <bit>
#include <cmath>
#include <cstring>

// AVX2 without FMA: wider registers, the roundings of the baseline code (a fused multiply-add
// would round once where the one-example code rounds twice).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(LUMIVANE_NO_FUNCTION_CLONES)
#define RPROP_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RPROP_VECTOR_CLONES
#endif

// The helpers below are always inlined, so their vector values never cross a call between code
// built for different instruction sets; the ABI note about passing 32-byte vectors does not apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace rprop_kernels {
namespace {

// Four doubles as one value (GCC vector extension): one AVX register or two SSE2 registers, with
// the element-wise roundings of scalar code.
typedef double Double4 __attribute__((vector_size(32)));
typedef long long Bits4 __attribute__((vector_size(32)));
static_assert(sizeof(Double4) == kLanes * sizeof(double));

// Vectors per chunk of neurons whose sums stay in registers (16 neurons at a time).
constexpr int kChunkVectors = 4;

[[gnu::always_inline]] inline Double4 load4(const double* p) {
  Double4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void store4(double* p, const Double4& v) {
  std::memcpy(p, &v, sizeof v);
}

// Net inputs of the N·kLanes neurons starting at j0, for every example of the block.
template <int N>
[[gnu::always_inline]] inline void netInputChunk(const double* const* x, int rows, int inputs,
                                                 const double* weights, const double* bias, int width, int j0,
                                                 double* net) {
  for (int e = 0; e < rows; ++e) {
    const double* xe = x[e];
    Double4 sum[N];
    for (int v = 0; v < N; ++v) sum[v] = Double4{0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < inputs; ++i) {
      const double xi = xe[i];
      const double* w = weights + static_cast<long>(i) * width + j0;
      for (int v = 0; v < N; ++v) sum[v] += load4(w + v * kLanes) * xi;
    }
    double* out = net + static_cast<long>(e) * width + j0;
    for (int v = 0; v < N; ++v) store4(out + v * kLanes, sum[v] + load4(bias + j0 + v * kLanes));
  }
}

// Gradient rows i0..i0+R-1 (real inputs) of the N·kLanes neurons starting at j0.
template <int N, int R>
[[gnu::always_inline]] inline void gradientRows(const double* const* x, const double* delta, int rows,
                                                int width, int j0, int i0, double* gradient) {
  Double4 g[R][N];
  for (int r = 0; r < R; ++r)
    for (int v = 0; v < N; ++v)
      g[r][v] = load4(gradient + static_cast<long>(i0 + r) * width + j0 + v * kLanes);
  for (int e = 0; e < rows; ++e) {
    const double* d = delta + static_cast<long>(e) * width + j0;
    Double4 dv[N];
    for (int v = 0; v < N; ++v) dv[v] = load4(d + v * kLanes);
    for (int r = 0; r < R; ++r) {
      const double xi = x[e][i0 + r];
      for (int v = 0; v < N; ++v) g[r][v] += dv[v] * xi;
    }
  }
  for (int r = 0; r < R; ++r)
    for (int v = 0; v < N; ++v)
      store4(gradient + static_cast<long>(i0 + r) * width + j0 + v * kLanes, g[r][v]);
}

// The bias row: its input is 1, so every example adds its δ as it is.
template <int N>
[[gnu::always_inline]] inline void gradientBiasRow(const double* delta, int rows, int width, int j0,
                                                   double* row) {
  Double4 g[N];
  for (int v = 0; v < N; ++v) g[v] = load4(row + j0 + v * kLanes);
  for (int e = 0; e < rows; ++e)
    for (int v = 0; v < N; ++v) g[v] += load4(delta + static_cast<long>(e) * width + j0 + v * kLanes);
  for (int v = 0; v < N; ++v) store4(row + j0 + v * kLanes, g[v]);
}

template <int N>
[[gnu::always_inline]] inline void gradientChunk(const double* const* x, const double* delta, int rows,
                                                 int inputs, int width, int j0, double* gradient) {
  // Two input rows at a time: each δ vector loaded serves both.
  int i = 0;
  for (; i + 2 <= inputs; i += 2) gradientRows<N, 2>(x, delta, rows, width, j0, i, gradient);
  if (i < inputs) gradientRows<N, 1>(x, delta, rows, width, j0, i, gradient);
  gradientBiasRow<N>(delta, rows, width, j0, gradient + static_cast<long>(inputs) * width);
}

template <int N>
[[gnu::always_inline]] inline void backSignalChunk(const double* delta, int rows, int neurons, int width,
                                                   const double* weights, int belowWidth, const double* slope,
                                                   int m0, double* below) {
  for (int e = 0; e < rows; ++e) {
    const double* d = delta + static_cast<long>(e) * width;
    Double4 sum[N];
    for (int v = 0; v < N; ++v) sum[v] = Double4{0.0, 0.0, 0.0, 0.0};
    for (int k = 0; k < neurons; ++k) {
      const double dk = d[k];
      const double* w = weights + static_cast<long>(k) * belowWidth + m0;
      for (int v = 0; v < N; ++v) sum[v] += load4(w + v * kLanes) * dk;
    }
    const long at = static_cast<long>(e) * belowWidth + m0;
    for (int v = 0; v < N; ++v) store4(below + at + v * kLanes, load4(slope + at + v * kLanes) * sum[v]);
  }
}

// The network's tanh, lane by lane: below this magnitude from the odd polynomial, above it from
// exp. The limit and the coefficients are those of tanhActivation (mlp/engine); the state checks
// on every attachment that the two agree bit for bit and falls back to the network's function if
// they ever do not.
constexpr double kTanhPolynomialLimit = 0.625;
constexpr double kTanhPolynomial[] = {
    -0.3333333333333332,     0.13333333333326658,   -0.05396825396139557,   0.021869488260559115,
    -0.008863229830925709,   0.0035920589774734554, -0.001455309297534642,  0.0005874372860094381,
    -0.00023077616269519857, 7.959955735264808e-05, -1.724487449484433e-05,
};
constexpr int kTanhLast = static_cast<int>(sizeof kTanhPolynomial / sizeof kTanhPolynomial[0]) - 1;
// Values handled per pass of the tanh kernel (the positions of its far values live on the stack).
constexpr int kTanhChunk = 256;
constexpr long long kSignBit = static_cast<long long>(1ULL << 63);

// The exp half of tanh for one value (|s| ≥ the limit, or not a number).
double tanhFromExp(double s) {
  const double t = std::exp(-2.0 * std::fabs(s));
  return std::copysign(1.0 - 2.0 * t / (1.0 + t), s);
}

}  // namespace

RPROP_VECTOR_CLONES
void denseNetInputs(const double* const* x, int rows, int inputs, const double* weights, const double* bias,
                    int width, double* net) {
  int j = 0;
  for (; j + kChunkVectors * kLanes <= width; j += kChunkVectors * kLanes)
    netInputChunk<kChunkVectors>(x, rows, inputs, weights, bias, width, j, net);
  for (; j < width; j += kLanes) netInputChunk<1>(x, rows, inputs, weights, bias, width, j, net);
}

RPROP_VECTOR_CLONES
void accumulateDenseGradient(const double* const* x, const double* delta, int rows, int inputs, int width,
                             double* gradient) {
  int j = 0;
  for (; j + kChunkVectors * kLanes <= width; j += kChunkVectors * kLanes)
    gradientChunk<kChunkVectors>(x, delta, rows, inputs, width, j, gradient);
  for (; j < width; j += kLanes) gradientChunk<1>(x, delta, rows, inputs, width, j, gradient);
}

RPROP_VECTOR_CLONES
void denseBackSignal(const double* delta, int rows, int neurons, int width, const double* weights,
                     int belowWidth, const double* slope, double* below) {
  int m = 0;
  for (; m + kChunkVectors * kLanes <= belowWidth; m += kChunkVectors * kLanes)
    backSignalChunk<kChunkVectors>(delta, rows, neurons, width, weights, belowWidth, slope, m, below);
  for (; m < belowWidth; m += kLanes)
    backSignalChunk<1>(delta, rows, neurons, width, weights, belowWidth, slope, m, below);
}

RPROP_VECTOR_CLONES
void tanhWithSlope(double* values, double* slope, int count) {
  const Bits4 sign = {kSignBit, kSignBit, kSignBit, kSignBit};
  // Values at or beyond the limit need exp, one value at a time. Their positions are collected
  // without branching and handled afterwards in a loop of their own: a branch per value would be
  // mispredicted about as often as not.
  int far[kTanhChunk];
  for (int begin = 0; begin < count; begin += kTanhChunk) {
    const int end = begin + kTanhChunk < count ? begin + kTanhChunk : count;
    int farCount = 0;
    for (int c = begin; c < end; c += kLanes) {
      const Double4 s = load4(values + c);
      const Bits4 sBits = std::bit_cast<Bits4>(s);
      const Double4 a = std::bit_cast<Double4>(sBits & ~sign);
      // tanh(s) = s + s·z·P(z), z = s², evaluated exactly as the scalar function does.
      const Double4 z = s * s;
      const double top = kTanhPolynomial[kTanhLast];
      Double4 p = {top, top, top, top};
      for (int k = kTanhLast - 1; k >= 0; --k) p = p * z + kTanhPolynomial[k];
      const Double4 r = s + s * (z * p);
      const Bits4 yBits = (std::bit_cast<Bits4>(r) & ~sign) | (sBits & sign);
      // Far lanes keep s in place for the exp pass (the comparison is false for NaN too).
      const Bits4 near = a < kTanhPolynomialLimit;
      store4(values + c, std::bit_cast<Double4>((yBits & near) | (sBits & ~near)));
      for (int l = 0; l < kLanes; ++l) {
        far[farCount] = c + l;
        farCount += near[l] == 0;
      }
    }
    for (int k = 0; k < farCount; ++k) values[far[k]] = tanhFromExp(values[far[k]]);
    for (int c = begin; c < end; c += kLanes) {
      const Double4 y = load4(values + c);
      store4(slope + c, 1.0 - y * y);
    }
  }
}

}  // namespace rprop_kernels
