// The tanh of mlp/engine is always inlined into the kernel, so its vector values never cross a
// call between code built for different instruction sets; the ABI note about passing 32-byte
// vectors does not apply. (Set before the includes: the note is issued where the shared tanh is
// defined.)
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

#include "plugins/rprop/tanh_kernel.h"

#include <bit>

#include "mlp/engine/network_activation.h"
#include "shared/simd.h"

namespace rprop_tanh {
namespace {

using simd::Bits4;
using simd::Double4;
using simd::kLanes;
using simd::load4;
using simd::store4;
using simd::UBits4;

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

struct TanhWithSlope {
  [[gnu::always_inline]] static void run(double* values, double* slope, int count) {
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
};

}  // namespace

void tanhWithSlope(double* values, double* slope, int count) {
  simd::run<TanhWithSlope>(values, slope, count);
}

}  // namespace rprop_tanh
