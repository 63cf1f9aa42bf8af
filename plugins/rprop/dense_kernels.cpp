// The helpers below and the tanh of mlp/engine are always inlined, so their vector values never
// cross a call between code built for different instruction sets; the ABI note about passing
// 32-byte vectors does not apply. (Set before the includes: the note is issued where the shared
// tanh is defined.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "plugins/rprop/dense_kernels.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "mlp/engine/network_activation.h"

// AVX2 without FMA: wider registers, the roundings of the baseline code (a fused multiply-add
// would round once where the one-example code rounds twice).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(LUMIVANE_NO_FUNCTION_CLONES)
#define RPROP_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define RPROP_VECTOR_CLONES
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

// Net inputs of the N·kLanes neurons starting at j0 for the E examples from e0: each weight
// vector loaded serves all E of them.
template <int N, int E>
[[gnu::always_inline]] inline void netInputExamples(const double* const* x, int e0, int inputs,
                                                    const double* weights, const double* bias, int width,
                                                    int j0, double* net) {
  Double4 sum[E][N];
  for (int e = 0; e < E; ++e)
    for (int v = 0; v < N; ++v) sum[e][v] = Double4{0.0, 0.0, 0.0, 0.0};
  for (int i = 0; i < inputs; ++i) {
    const double* w = weights + static_cast<long>(i) * width + j0;
    for (int v = 0; v < N; ++v) {
      const Double4 wv = load4(w + v * kLanes);
      for (int e = 0; e < E; ++e) sum[e][v] += wv * x[e0 + e][i];
    }
  }
  for (int e = 0; e < E; ++e) {
    double* out = net + static_cast<long>(e0 + e) * width + j0;
    for (int v = 0; v < N; ++v) store4(out + v * kLanes, sum[e][v] + load4(bias + j0 + v * kLanes));
  }
}

// Net inputs of the N·kLanes neurons starting at j0, for every example of the block.
template <int N>
[[gnu::always_inline]] inline void netInputChunk(const double* const* x, int rows, int inputs,
                                                 const double* weights, const double* bias, int width, int j0,
                                                 double* net) {
  int e = 0;
  for (; e + 2 <= rows; e += 2) netInputExamples<N, 2>(x, e, inputs, weights, bias, width, j0, net);
  if (e < rows) netInputExamples<N, 1>(x, e, inputs, weights, bias, width, j0, net);
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

// The network's tanh, lane by lane: below the limit from the odd polynomial, above it from exp,
// both with the constants and the operations of tanhActivation (mlp/engine). The state checks on
// every attachment that the two agree bit for bit and falls back to the network's function if
// they ever do not.
//
// Both halves are long chains of dependent operations, so the kernel works on kTanhVectors
// vectors at a time: independent chains side by side keep the arithmetic units busy.
constexpr int kTanhVectors = 4;
// Values handled per pass of the tanh kernel (the positions of its far values live on the stack);
// a multiple of kLanes, so a short last vector of positions can be padded in place.
constexpr int kTanhChunk = 256;
constexpr long long kSignBit = static_cast<long long>(1ULL << 63);
constexpr Bits4 kSign = {kSignBit, kSignBit, kSignBit, kSignBit};

typedef unsigned long long UBits4 __attribute__((vector_size(32)));

// Four table entries, one per lane.
struct Lookup4 {
  [[gnu::always_inline]] Double4 operator()(const double* table, const UBits4& i) const {
    return Double4{table[i[0]], table[i[1]], table[i[2]], table[i[3]]};
  }
};

// The polynomial half for the N vectors at c: near values get their tanh, far ones (|s| ≥ the
// limit, or NaN) stay as they are for the exp half and have their positions appended to far. No
// branch depends on the values.
template <int N>
[[gnu::always_inline]] inline void tanhNearValues(double* values, int c, int* far, int& farCount) {
  using namespace network_tanh;
  Double4 s[N], z[N], p[N];
  for (int v = 0; v < N; ++v) {
    s[v] = load4(values + c + v * kLanes);
    z[v] = s[v] * s[v];
    p[v] = broadcast<Double4>(kPolynomial[kPolynomialLast]);
  }
  // tanh(s) = s + s·z·P(z), z = s², evaluated exactly as the scalar function does.
  for (int k = kPolynomialLast - 1; k >= 0; --k)
    for (int v = 0; v < N; ++v) p[v] = p[v] * z[v] + kPolynomial[k];
  for (int v = 0; v < N; ++v) {
    const Double4 r = s[v] + s[v] * (z[v] * p[v]);
    const Bits4 sBits = std::bit_cast<Bits4>(s[v]);
    const Bits4 yBits = (std::bit_cast<Bits4>(r) & ~kSign) | (sBits & kSign);
    const Bits4 near = std::bit_cast<Double4>(sBits & ~kSign) < kPolynomialLimit;  // false for NaN
    // Far lanes keep s for the exp half.
    store4(values + c + v * kLanes, std::bit_cast<Double4>((yBits & near) | (sBits & ~near)));
    for (int l = 0; l < kLanes; ++l) {
      far[farCount] = c + v * kLanes + l;
      farCount += near[l] == 0;
    }
  }
}

// The exp half for the N vectors of values whose positions start at far, in place.
template <int N>
[[gnu::always_inline]] inline void tanhFarValues(double* values, const int* far) {
  for (int v = 0; v < N; ++v) {
    const int* at = far + v * kLanes;
    const Double4 s = {values[at[0]], values[at[1]], values[at[2]], values[at[3]]};
    const Bits4 sBits = std::bit_cast<Bits4>(s);
    const Double4 a = std::bit_cast<Double4>(sBits & ~kSign);
    const Double4 y = network_tanh::tanhOfMagnitude<Double4, UBits4>(a, Lookup4{});
    const Bits4 yBits = (std::bit_cast<Bits4>(y) & ~kSign) | (sBits & kSign);
    for (int l = 0; l < kLanes; ++l) values[at[l]] = std::bit_cast<double>(yBits[l]);
  }
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
  constexpr int kGroup = kTanhVectors * kLanes;
  // Values at or beyond the limit need exp. Their positions are collected without branching and
  // the values evaluated afterwards, a group at a time: a branch per value would be mispredicted
  // about as often as not, and evaluating exp on every lane would spend its work mostly on lanes
  // that do not need it.
  int far[kTanhChunk];
  for (int begin = 0; begin < count; begin += kTanhChunk) {
    const int end = begin + kTanhChunk < count ? begin + kTanhChunk : count;
    int farCount = 0;
    int c = begin;
    for (; c + kGroup <= end; c += kGroup) tanhNearValues<kTanhVectors>(values, c, far, farCount);
    for (; c < end; c += kLanes) tanhNearValues<1>(values, c, far, farCount);
    int k = 0;
    for (; k + kGroup <= farCount; k += kGroup) tanhFarValues<kTanhVectors>(values, far + k);
    for (; k < farCount; k += kLanes) {
      // A last vector left short repeats its first position: one vector reads all its values
      // before it writes any, so the repeats compute and store the same result.
      for (int j = farCount; j < k + kLanes; ++j) far[j] = far[k];
      tanhFarValues<1>(values, far + k);
    }
    for (c = begin; c < end; c += kLanes) {
      const Double4 y = load4(values + c);
      store4(slope + c, 1.0 - y * y);
    }
  }
}

}  // namespace rprop_kernels
