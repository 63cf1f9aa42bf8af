#pragma once

// The vector kernels behind the inner loops of the matrix library, map training and Rprop's
// first-order layers, and the machinery that runs them.
//
// Every kernel is compiled twice from one body: for the x86-64 baseline (SSE2) and for AVX2.
// The AVX2 path is chosen at run time where the processor has it, so one binary runs everywhere
// and uses wide registers where it can. Both paths produce the same bits:
//  - no fused multiply-add: the AVX2 path is built for "avx2" alone, never "fma", and the project
//    compiles with -ffp-contract=off, so every multiply and every add rounds on its own;
//  - no order that depends on the path: a sum split into lanes is split the same way in the
//    baseline (the vector type below is four doubles on every path; without AVX it is two SSE2
//    registers), and the lanes are combined in one fixed order.
// Values that are stored, shown or written to a sheet therefore come out bit for bit the same on
// every x86-64 machine.
//
// Header-only, so the plug-ins that carry their own copy of the numerics get the same kernels.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

// Kernel helpers pass four-double vectors by value; they are always inlined, so such a value
// never crosses a call between code built for different instruction sets, and GCC's note about
// the ABI of 32-byte vectors does not apply. GCC reports it at the end of the translation unit,
// outside any push/pop around this header, so the including file keeps it switched off.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

// Sanitized builds define LUMIVANE_NO_FUNCTION_CLONES and run the baseline alone.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(LUMIVANE_NO_FUNCTION_CLONES)
#define LUMIVANE_SIMD_AVX2 1
#define LUMIVANE_SIMD_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define LUMIVANE_SIMD_AVX2 0
#endif

#define LUMIVANE_SIMD_INLINE [[gnu::always_inline]] inline

namespace simd {

// The two builds of every kernel.
enum class Path { kBaseline, kAvx2 };

namespace detail {

inline Path detectPath() {
  // LUMIVANE_SIMD=baseline runs a whole program on the baseline path.
  const char* forced = std::getenv("LUMIVANE_SIMD");
  if (forced != nullptr && std::strcmp(forced, "baseline") == 0) return Path::kBaseline;
#if LUMIVANE_SIMD_AVX2
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return Path::kAvx2;
#endif
  return Path::kBaseline;
}

inline Path detectedPath() {
  static const Path path = detectPath();
  return path;
}

// −1: the detected path; otherwise the Path forced by setPath().
inline std::atomic<int>& forcedPath() {
  static std::atomic<int> path{-1};
  return path;
}

}  // namespace detail

// True when this processor (and this build) can run the AVX2 path.
inline bool avx2Available() {
#if LUMIVANE_SIMD_AVX2
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

// The path the kernels take now: the best the processor supports unless forced.
inline Path activePath() {
  const int forced = detail::forcedPath().load(std::memory_order_relaxed);
  return forced >= 0 ? static_cast<Path>(forced) : detail::detectedPath();
}

// Forces every later kernel call (from any thread) onto the given path; returns false, changing
// nothing, when the AVX2 path is asked for but not available. Meant for tests and benchmarks that
// compare the two paths; results do not depend on it.
inline bool setPath(Path path) {
  if (path == Path::kAvx2 && !avx2Available()) return false;
  detail::forcedPath().store(static_cast<int>(path), std::memory_order_relaxed);
  return true;
}

// Back to the detected path.
inline void resetPath() {
  detail::forcedPath().store(-1, std::memory_order_relaxed);
}

// Forces a path for the lifetime of the object and then restores the previous choice.
class ScopedPath {
 public:
  explicit ScopedPath(Path path) : previous_(detail::forcedPath().load()), ok_(setPath(path)) {}
  ~ScopedPath() { detail::forcedPath().store(previous_); }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;
  // False when the path could not be forced (AVX2 not available).
  bool ok() const { return ok_; }

 private:
  int previous_;
  bool ok_;
};

// Four doubles as one value (GCC vector extension): one AVX register or two SSE2 registers, with
// the element-wise roundings of scalar code on both.
typedef double Double4 __attribute__((vector_size(32)));
typedef long long Bits4 __attribute__((vector_size(32)));
typedef unsigned long long UBits4 __attribute__((vector_size(32)));

// Lanes of one vector.
inline constexpr int kLanes = 4;

LUMIVANE_SIMD_INLINE Double4 load4(const double* p) {
  Double4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

LUMIVANE_SIMD_INLINE void store4(double* p, const Double4& v) {
  std::memcpy(p, &v, sizeof v);
}

// Lane-wise smaller of s and m; a lane of s that is not a number leaves m as it was.
LUMIVANE_SIMD_INLINE Double4 lowerOf(const Double4& s, const Double4& m) {
  return s < m ? s : m;
}

// The smallest lane, combined in a fixed order.
LUMIVANE_SIMD_INLINE double smallestLane(const Double4& m) {
  const double a = m[0] < m[1] ? m[0] : m[1];
  const double b = m[2] < m[3] ? m[2] : m[3];
  return a < b ? a : b;
}

// Runs Kernel::run on the active path. Kernel::run is always inlined, so it is compiled once for
// each path: into run<Kernel>'s AVX2 instantiation and into the caller for the baseline.
#if LUMIVANE_SIMD_AVX2
template <class Kernel, class... Args>
LUMIVANE_SIMD_TARGET_AVX2 auto runAvx2(Args... args) {
  return Kernel::run(args...);
}
#endif

template <class Kernel, class... Args>
inline auto run(Args... args) {
#if LUMIVANE_SIMD_AVX2
  if (activePath() == Path::kAvx2) return runAvx2<Kernel>(args...);
#endif
  return Kernel::run(args...);
}

// ---------------------------------------------------------------------------------------------
// Matrix library: dot products, axpy, plane rotations.

namespace detail {

struct Dot {
  LUMIVANE_SIMD_INLINE static double run(const double* x, const double* y, std::int32_t len) {
    // Four partial sums over k mod 4 break the chain of dependent additions.
    Double4 s = {0.0, 0.0, 0.0, 0.0};
    std::int32_t k = 0;
    for (; k + kLanes <= len; k += kLanes) s += load4(x + k) * load4(y + k);
    double s0 = s[0];
    for (; k < len; ++k) s0 += x[k] * y[k];
    return (s0 + s[1]) + (s[2] + s[3]);
  }
};

struct Axpy {
  LUMIVANE_SIMD_INLINE static void run(double* y, double a, const double* x, std::int32_t len) {
    for (std::int32_t k = 0; k < len; ++k) y[k] += a * x[k];
  }
};

struct Rotate {
  LUMIVANE_SIMD_INLINE static void run(double* x, double* y, std::int32_t len, double c, double s) {
    for (std::int32_t r = 0; r < len; ++r) {
      const double xr = x[r];
      const double yr = y[r];
      x[r] = xr * c + yr * s;
      y[r] = yr * c - xr * s;
    }
  }
};

}  // namespace detail

// Σ x[k]·y[k] for k = 0 … len−1 in four partial sums over k mod 4, combined as
// ((s0 + s1) + (s2 + s3)); the terms past the last multiple of 4 go into s0 in order.
inline double dot(const double* x, const double* y, std::int32_t len) {
  return run<detail::Dot>(x, y, len);
}

// y[k] += a·x[k] for k = 0 … len−1 (y and x do not overlap, or are the same array).
inline void axpy(double* y, double a, const double* x, std::int32_t len) {
  run<detail::Axpy>(y, a, x, len);
}

// Plane rotation of two vectors: (x, y) := (x·c + y·s, y·c − x·s).
inline void rotate(double* x, double* y, std::int32_t len, double c, double s) {
  run<detail::Rotate>(x, y, len, c, s);
}

// ---------------------------------------------------------------------------------------------
// Map training on weights stored as component planes (component k of cell i at
// planes[k·stride + i]). The vectors run across the cells; every cell's sum over the components
// runs in component order, as the distance formula is written.

namespace detail {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Cells whose distance sums stay in registers across all components.
inline constexpr std::int32_t kMeasureBlock = 16;
// Cells moved and measured together (fewer, as their kernel values occupy registers too).
inline constexpr std::int32_t kPullBlock = 8;

struct SquaredDistances {
  LUMIVANE_SIMD_INLINE static double run(const double* planes, std::int64_t stride, std::int32_t dimension,
                                         const double* x, std::int32_t begin, std::int32_t end, double* acc) {
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
};

struct PullAndMeasure {
  LUMIVANE_SIMD_INLINE static double run(double* planes, std::int64_t stride, std::int32_t dimension,
                                         const double* x, const double* h, double delta, const double* next,
                                         std::int32_t begin, std::int32_t end, double* acc) {
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
};

}  // namespace detail

// Both map kernels return the smallest sum they wrote, ignoring sums that are not a number
// (+infinity for an empty range or when none is a number).

// acc[i] := Σₖ (planes[k·stride + i] − x[k])² for begin ≤ i < end.
inline double squaredDistances(const double* planes, std::int64_t stride, std::int32_t dimension,
                               const double* x, std::int32_t begin, std::int32_t end, double* acc) {
  return run<detail::SquaredDistances>(planes, stride, dimension, x, begin, end, acc);
}

// For begin ≤ i < end: every component of a cell with h[i − begin] ≠ 0 moves towards x,
// w ← w + delta·(h[i − begin]·(x[k] − w)) (cells with h = 0 keep their weights exactly), and
// then acc[i] := Σₖ (w − next[k])² with the moved weights (one sweep instead of two).
inline double pullAndMeasure(double* planes, std::int64_t stride, std::int32_t dimension, const double* x,
                             const double* h, double delta, const double* next, std::int32_t begin,
                             std::int32_t end, double* acc) {
  return run<detail::PullAndMeasure>(planes, stride, dimension, x, h, delta, next, begin, end, acc);
}

// ---------------------------------------------------------------------------------------------
// Rprop's first-order layers, a block of examples at once. The vectors run across the neurons
// (or across a neuron's inputs), never across the examples, so every sum keeps the order of the
// one-example-at-a-time computation: a net input sums its inputs in ascending order from 0 and
// adds the bias last, a weight's gradient sums its examples in ascending order, a back-propagated
// signal sums the neurons above in ascending order from 0. The results are therefore bit for bit
// those of the neuron-by-neuron code.
//
// Layout: a layer of `neurons` neurons is stored `width` = paddedWidth(neurons) lanes wide; the
// lanes past the last neuron hold zero weights, so they compute harmless zeros. A block holds
// `rows` examples, row e of a block buffer starting at e·width. All pointers are to distinct,
// non-overlapping arrays unless stated.

// Every padded width is a multiple of kLanes.
inline int paddedWidth(int count) {
  return (count + kLanes - 1) / kLanes * kLanes;
}

namespace detail {

// Vectors per chunk of neurons whose sums stay in registers (16 neurons at a time).
inline constexpr int kChunkVectors = 4;

// Net inputs of the N·kLanes neurons starting at j0 for the E examples from e0: each weight
// vector loaded serves all E of them.
template <int N, int E>
LUMIVANE_SIMD_INLINE void netInputExamples(const double* const* x, int e0, int inputs, const double* weights,
                                           const double* bias, int width, int j0, double* net) {
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
LUMIVANE_SIMD_INLINE void netInputChunk(const double* const* x, int rows, int inputs, const double* weights,
                                        const double* bias, int width, int j0, double* net) {
  int e = 0;
  for (; e + 2 <= rows; e += 2) netInputExamples<N, 2>(x, e, inputs, weights, bias, width, j0, net);
  if (e < rows) netInputExamples<N, 1>(x, e, inputs, weights, bias, width, j0, net);
}

// Gradient rows i0..i0+R-1 (real inputs) of the N·kLanes neurons starting at j0.
template <int N, int R>
LUMIVANE_SIMD_INLINE void gradientRows(const double* const* x, const double* delta, int rows, int width,
                                       int j0, int i0, double* gradient) {
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
LUMIVANE_SIMD_INLINE void gradientBiasRow(const double* delta, int rows, int width, int j0, double* row) {
  Double4 g[N];
  for (int v = 0; v < N; ++v) g[v] = load4(row + j0 + v * kLanes);
  for (int e = 0; e < rows; ++e)
    for (int v = 0; v < N; ++v) g[v] += load4(delta + static_cast<long>(e) * width + j0 + v * kLanes);
  for (int v = 0; v < N; ++v) store4(row + j0 + v * kLanes, g[v]);
}

template <int N>
LUMIVANE_SIMD_INLINE void gradientChunk(const double* const* x, const double* delta, int rows, int inputs,
                                        int width, int j0, double* gradient) {
  // Two input rows at a time: each δ vector loaded serves both.
  int i = 0;
  for (; i + 2 <= inputs; i += 2) gradientRows<N, 2>(x, delta, rows, width, j0, i, gradient);
  if (i < inputs) gradientRows<N, 1>(x, delta, rows, width, j0, i, gradient);
  gradientBiasRow<N>(delta, rows, width, j0, gradient + static_cast<long>(inputs) * width);
}

template <int N>
LUMIVANE_SIMD_INLINE void backSignalChunk(const double* delta, int rows, int neurons, int width,
                                          const double* weights, int belowWidth, const double* slope, int m0,
                                          double* below) {
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

struct DenseNetInputs {
  LUMIVANE_SIMD_INLINE static void run(const double* const* x, int rows, int inputs, const double* weights,
                                       const double* bias, int width, double* net) {
    int j = 0;
    for (; j + kChunkVectors * kLanes <= width; j += kChunkVectors * kLanes)
      netInputChunk<kChunkVectors>(x, rows, inputs, weights, bias, width, j, net);
    for (; j < width; j += kLanes) netInputChunk<1>(x, rows, inputs, weights, bias, width, j, net);
  }
};

struct AccumulateDenseGradient {
  LUMIVANE_SIMD_INLINE static void run(const double* const* x, const double* delta, int rows, int inputs,
                                       int width, double* gradient) {
    int j = 0;
    for (; j + kChunkVectors * kLanes <= width; j += kChunkVectors * kLanes)
      gradientChunk<kChunkVectors>(x, delta, rows, inputs, width, j, gradient);
    for (; j < width; j += kLanes) gradientChunk<1>(x, delta, rows, inputs, width, j, gradient);
  }
};

struct DenseBackSignal {
  LUMIVANE_SIMD_INLINE static void run(const double* delta, int rows, int neurons, int width,
                                       const double* weights, int belowWidth, const double* slope,
                                       double* below) {
    int m = 0;
    for (; m + kChunkVectors * kLanes <= belowWidth; m += kChunkVectors * kLanes)
      backSignalChunk<kChunkVectors>(delta, rows, neurons, width, weights, belowWidth, slope, m, below);
    for (; m < belowWidth; m += kLanes)
      backSignalChunk<1>(delta, rows, neurons, width, weights, belowWidth, slope, m, below);
  }
};

}  // namespace detail

// net[e·width + j] = (Σ_{i ascending} weights[i·width + j]·x[e][i]) + bias[j] for all j < width;
// weights is inputs × width (input-major), x[e] points to example e's inputs.
inline void denseNetInputs(const double* const* x, int rows, int inputs, const double* weights,
                           const double* bias, int width, double* net) {
  run<detail::DenseNetInputs>(x, rows, inputs, weights, bias, width, net);
}

// gradient[i·width + j] += Σ_{e ascending} delta[e·width + j]·x[e][i], and the bias row
// gradient[inputs·width + j] += Σ_e delta[e·width + j]; gradient is (inputs + 1) × width.
inline void accumulateDenseGradient(const double* const* x, const double* delta, int rows, int inputs,
                                    int width, double* gradient) {
  run<detail::AccumulateDenseGradient>(x, delta, rows, inputs, width, gradient);
}

// The error signal of the layer below: below[e·belowWidth + m] = slope[e·belowWidth + m] ·
// Σ_{k ascending} weights[k·belowWidth + m]·delta[e·width + k], the sum started from 0, for all
// m < belowWidth; weights is neurons × belowWidth (neuron-major). below may not alias slope.
inline void denseBackSignal(const double* delta, int rows, int neurons, int width, const double* weights,
                            int belowWidth, const double* slope, double* below) {
  run<detail::DenseBackSignal>(delta, rows, neurons, width, weights, belowWidth, slope, below);
}

}  // namespace simd
